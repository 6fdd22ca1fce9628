#include "ui/MessageBoxSink.h"

#include <QMessageBox>

namespace duolo {

void MessageBoxSink::showMessage(const std::string& text)
{
    QMessageBox::information(owner_.data(), QStringLiteral("Duolo Motion Graphs"),
                             QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
}

} // namespace duolo

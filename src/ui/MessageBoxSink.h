#pragma once

#include "capture/MessageSink.h"

#include <QPointer>
#include <QWidget>

namespace duolo {

// Shows the model's messages in a modal box with an OK button, over the given window.
class MessageBoxSink : public MessageSink {
public:
    explicit MessageBoxSink(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    void showMessage(const std::string& text) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace duolo

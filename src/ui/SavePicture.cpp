#include "ui/SavePicture.h"

#include "ui/MainDialog.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QImageWriter>
#include <QWidget>

namespace duolo {

bool savePicture(QWidget* parent, UserDialogs& dialogs, const QImage& picture)
{
    const QString path = dialogs.choosePictureToSave(parent);
    if (path.isEmpty())
        return false;
    QImageWriter writer(path, "png");
    if (picture.isNull() || !writer.write(picture)) {
        dialogs.showError(parent, QObject::tr("Save Picture"),
                          QObject::tr("%1: cannot write the picture: %2")
                              .arg(path, picture.isNull() ? QObject::tr("there is nothing to show")
                                                          : writer.errorString()));
        return false;
    }
    return true;
}

void offerSavePicture(QWidget* widget, MainDialog& window, PictureSource source)
{
    auto* action = new QAction(QObject::tr("Save Picture"), widget);
    action->setObjectName(QStringLiteral("savePicture"));
    action->setToolTip(QObject::tr("Save what is shown here as a PNG picture"));
    QObject::connect(action, &QAction::triggered, widget, [widget, &window, source = std::move(source)] {
        savePicture(widget, window.dialogs(), source());
    });
    widget->addAction(action);
    widget->setContextMenuPolicy(Qt::ActionsContextMenu);
}

} // namespace duolo

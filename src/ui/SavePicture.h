#pragma once

#include <QImage>

#include <functional>

class QWidget;

namespace duolo {

class MainDialog;
class UserDialogs;

using PictureSource = std::function<QImage()>;

// "Save Picture": asks for a PNG file and writes `picture` to it; a file that cannot be written
// is reported naming it. False when cancelled or not written.
bool savePicture(QWidget* parent, UserDialogs& dialogs, const QImage& picture);

// Puts "Save Picture" in the widget's context menu (right click): a PNG of what `source` gives,
// which should be what the widget shows.
void offerSavePicture(QWidget* widget, MainDialog& window, PictureSource source);

} // namespace duolo

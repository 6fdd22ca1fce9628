#pragma once

#include "capture/CaptureTake.h"

#include <QDialog>

class QComboBox;
class QSettings;

namespace duolo {

// Asks how to read the C3D and TRC files about to be opened: the vertical axis (automatic: the
// file's axis with its sign from the data, or one of the six signed axes) and the units
// (automatic: the file's, or mm, cm, m). The choice is kept in `settings` for the next time.
class CaptureImportDialog : public QDialog {
    Q_OBJECT
public:
    CaptureImportDialog(QSettings& settings, QWidget* parent = nullptr);

    CaptureImportOptions options() const;
    // Keeps the current choice in the settings (done on OK).
    void remember();

    QComboBox* upBox() const { return up_; }
    QComboBox* unitsBox() const { return units_; }

private:
    QSettings& settings_;
    QComboBox* up_;
    QComboBox* units_;
};

// True when any of the paths is a capture file (C3D or TRC), which the options apply to.
bool holdsCaptureFiles(const QStringList& paths);

} // namespace duolo

#include "ui/CaptureImportDialog.h"

#include "capture/CaptureReader.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

namespace duolo {
namespace {

const QString kUpKey = QStringLiteral("captureImport/up");
const QString kUnitsKey = QStringLiteral("captureImport/units");
const QStringList kAxes{"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
const QStringList kUnits{"mm", "cm", "m"};

// Selects the entry whose data equals the stored text; the first (automatic) otherwise.
void restore(QComboBox* box, const QString& stored)
{
    const int at = box->findData(stored);
    box->setCurrentIndex(at < 0 ? 0 : at);
}

} // namespace

CaptureImportDialog::CaptureImportDialog(QSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings)
{
    setWindowTitle(tr("Capture File Options"));
    up_ = new QComboBox(this);
    up_->setObjectName(QStringLiteral("upAxis"));
    up_->addItem(tr("Automatic (the file's axis, the sign from where the bodies stand)"), QString());
    for (const QString& axis : kAxes)
        up_->addItem(axis, axis);
    units_ = new QComboBox(this);
    units_->setObjectName(QStringLiteral("units"));
    units_->addItem(tr("Automatic (as the file says)"), QString());
    for (const QString& u : kUnits)
        units_->addItem(u, u);
    restore(up_, settings_.value(kUpKey).toString());
    restore(units_, settings_.value(kUnitsKey).toString());

    auto* note = new QLabel(tr("How to read the C3D and TRC files being opened:"), this);
    auto* form = new QFormLayout;
    form->addRow(tr("Vertical axis:"), up_);
    form->addRow(tr("Units:"), units_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        remember();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

CaptureImportOptions CaptureImportDialog::options() const
{
    CaptureImportOptions options;
    VerticalAxis axis;
    if (parseVerticalAxis(up_->currentData().toString().toStdString(), axis))
        options.up = axis;
    options.centimetresPerUnit = centimetresPerUnit(units_->currentData().toString().toStdString());
    return options;
}

void CaptureImportDialog::remember()
{
    settings_.setValue(kUpKey, up_->currentData().toString());
    settings_.setValue(kUnitsKey, units_->currentData().toString());
}

bool holdsCaptureFiles(const QStringList& paths)
{
    for (const QString& p : paths)
        if (captureReaderFor(p.toStdString()))
            return true;
    return false;
}

} // namespace duolo

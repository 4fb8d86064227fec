#include "SubDlgDeviceNameEdit.h"

namespace {
CNameEditDialog::Texts DeviceNameTexts() {
    return {QObject::tr("Edit Device Name"),
            QObject::tr("Device name"),
            1004,
            1005,
            QObject::tr("Device name"),
            QObject::tr("Store device name"),
            QObject::tr("Cancel renaming the device")};
}
}  // namespace

// The template has a caption but no system menu, hence no close button.
CSubDlgDeviceNameEdit::CSubDlgDeviceNameEdit(_ZEL_USB_DEVICE_PROPERTIES* properties,
                                             QWidget* parent)
    : CNameEditDialog(properties->DeviceName, sizeof properties->DeviceName, DeviceNameTexts(),
                      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint, parent) {
    setObjectName(QString::number(kTemplateId));
}

// The "Edit Device Name" dialog: renames the device record copy it is given.
#pragma once

#include "NameEditDialog.h"
#include "driver/ZivuUsbRecords.h"

class CSubDlgDeviceNameEdit : public CNameEditDialog {
    Q_OBJECT
public:
    static constexpr unsigned kTemplateId = 137;

    // `properties` is the caller's copy, not owned; OK stores the name into it.
    explicit CSubDlgDeviceNameEdit(_ZEL_USB_DEVICE_PROPERTIES* properties,
                                   QWidget* parent = nullptr);
};

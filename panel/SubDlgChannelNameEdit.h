// The "Edit Channel Name" dialog: renames the channel record copy it is given.
#pragma once

#include "NameEditDialog.h"
#include "driver/ZivuUsbRecords.h"

class CSubDlgChannelNameEdit : public CNameEditDialog {
    Q_OBJECT
public:
    static constexpr unsigned kTemplateId = 138;

    // `properties` is the caller's copy, not owned; OK stores the name into it.
    explicit CSubDlgChannelNameEdit(_ZEL_USB_CHANNEL_PROPERTIES* properties,
                                    QWidget* parent = nullptr);
};

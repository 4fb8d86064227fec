#include "SubDlgChannelNameEdit.h"

namespace {
CNameEditDialog::Texts ChannelNameTexts() {
    return {QObject::tr("Edit Channel Name"),
            QObject::tr("Channel name"),
            1020,
            1021,
            QObject::tr("Channel name"),
            QObject::tr("Store channel name"),
            QObject::tr("Cancel renaming the channel")};
}
}  // namespace

CSubDlgChannelNameEdit::CSubDlgChannelNameEdit(_ZEL_USB_CHANNEL_PROPERTIES* properties,
                                               QWidget* parent)
    : CNameEditDialog(
          properties->ChannelName, sizeof properties->ChannelName, ChannelNameTexts(),
          Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint,
          parent) {
    setObjectName(QString::number(kTemplateId));
}

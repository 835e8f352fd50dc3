#pragma once
// The message boxes of the pages: a numbered string under the caption
// "TorvoProxy tip", or the console's failure message.
#include "ui/common/Messages.h"
#include "ui/res/Strings.h"

inline void ShowTip(QWidget* parent, int stringId, MessageIcon icon = MessageIcon::Information) {
    ShowMessage(parent, res::Str(stringId), res::Str(res::IDS_TIP_CAPTION), icon);
}

inline void ShowOperationFailed(QWidget* parent) {
    ShowMessage(parent, res::Str(res::Fixed::OperationFailedText),
                res::Str(res::Fixed::OperationFailedCaption), MessageIcon::Warning);
}

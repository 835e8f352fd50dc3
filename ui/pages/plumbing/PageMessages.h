#pragma once
// The message boxes of the pages: a numbered string under the caption
// "TorvoProxy tip", or the console's failure message (with its reason).
#include "ui/common/Messages.h"
#include "ui/res/Strings.h"

inline void ShowTip(QWidget* parent, int stringId, MessageIcon icon = MessageIcon::Information) {
    ShowMessage(parent, res::Str(stringId), res::Str(res::IDS_TIP_CAPTION), icon);
}

// The failure message, with the reason after it when one is known.
inline void ShowOperationFailed(QWidget* parent, const QString& reason = {}) {
    QString text = res::Str(res::Fixed::OperationFailedText);
    if (!reason.isEmpty()) text += QStringLiteral("\n\n") + reason;
    ShowMessage(parent, text, res::Str(res::Fixed::OperationFailedCaption), MessageIcon::Warning);
}

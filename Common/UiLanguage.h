#pragma once
// The two languages of the administrator's texts.

namespace res {

enum class UiLanguage { English, Chinese };

}  // namespace res

#pragma once
// The two languages of the console's texts (Qt-free, so that start-up rules can name them).

namespace res {

enum class UiLanguage { English, Chinese };

}  // namespace res

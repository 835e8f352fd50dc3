#include "Common/Global.h"

Global::Global() = default;

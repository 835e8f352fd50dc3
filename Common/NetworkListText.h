#pragma once
// What is wrong with a list of allowed client networks, in the administrator's words.
#include <string>

#include "Common/ClientNetworks.h"
#include "Common/UiLanguage.h"

// The first bad entry (its line, as typed, and why), "the list is empty", or empty when every
// entry is a network.
std::string NetworkListProblem(const NetworkListCheck& check, res::UiLanguage language);

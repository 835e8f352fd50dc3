#pragma once
#include <QString>

// "busy.gif" beside the executable; empty when the executable's directory is unknown.
QString BusyPicturePath();

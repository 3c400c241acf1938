#pragma once

#include <string>

// Shows one text to the user and returns once it has been dismissed.
// The engine declares it and never defines it: the program that links the
// engine supplies it (a message box in the dialog, a recorder in the tests).
void ShowNotice(const std::string& text);

#pragma once

#include "framework.h"

// The application: runs the tweaker dialog once and ends.
//
// The application needs no Help command handler: there is no help file, and
// no control, key or menu item sends the Help command.
class CTweakApp : public CWinApp {
 public:
  CTweakApp() = default;
  ~CTweakApp() override = default;

  // Runs the main dialog modally and returns FALSE, which ends the program.
  BOOL InitInstance() override;
};

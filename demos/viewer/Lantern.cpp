// Lantern: shows the first JPEG image bound to its own executable. Built
// twice: LANTERN_MAXIMISED=1 opens maximised, 0 as a normal window.
#include <cstdio>
#include <exception>

#include "LQApplication.h"
#include "MainFrm.h"

int main() {
  try {
    limpet::TApplication application("Lantern");
    limpet::lantern::TMainForm mainForm(LANTERN_MAXIMISED ? limpet::lantern::TInitialWindow::Maximised
                                                          : limpet::lantern::TInitialWindow::Normal);
    return application.Run(mainForm);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Lantern: %s\n", e.what());
    return 1;
  }
}

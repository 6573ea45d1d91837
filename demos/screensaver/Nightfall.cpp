// Nightfall: a screen saver that shows the JPEG images bound to its own
// executable in turn. Runs the show with no argument or with /s, s or -s;
// any other command line opens the same black window without images.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "LQApplication.h"
#include "MainFrm.h"

int main(int argc, char** argv) {
  try {
    limpet::TApplication application("Nightfall");
    limpet::nightfall::TMainForm mainForm(std::vector<std::string>(argv + 1, argv + argc));
    return application.Run(mainForm);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Nightfall: %s\n", e.what());
    return 1;
  }
}

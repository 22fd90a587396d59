// Prints the settings reference (WriteSettingsReference) as Markdown, for the
// documentation: build/bin/varnolt-settings-reference > table.md
#include <iostream>

#include "settings/SettingsReference.h"

int main() {
  using namespace varnolt;
  WriteSettingsReference(std::cout);
  return std::cout ? 0 : 1;
}

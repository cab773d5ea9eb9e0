#pragma once
// The window settings of a built program, as the "EXE erstellen" tab shows them, the project
// file keeps them and every built program carries them. One type for all of them: the project
// file, the builder and both viewers. The standard library only, because the Windows viewer,
// compiled by its own cross compiler without the rest of the tree, reads it too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

// The ten window elements of a built program, in the order of CheckBox1 to CheckBox10.
enum class WindowElement {
  Statusbar = 0,   // "Statusbar"
  Toolbar = 1,     // "Tool Leiste"
  Print = 2,       // "Drucken"
  Exit = 3,        // "Beenden"
  About = 4,       // "Über"
  Back = 5,        // "Zurück"
  Forward = 6,     // "Vorwärts"
  Home = 7,        // "Startseite"
  Reload = 8,      // "Neu laden"
  ExitButton = 9,  // "Beenden Button"
};

inline constexpr int kWindowElementCount = 10;

// The settings of the tab that a project keeps. The same block, up to the project name, goes
// into every built program.
struct ProjectSettings {
  std::array<bool, kWindowElementCount> elements{};  // index = CheckBox number - 1
  std::int32_t width = 0;                            // WidthEd, as the spin edit gives it
  std::int32_t height = 0;                           // HeightEd
  bool definedSize = true;  // "Definierte Größe" (DefSizeCheck); false: "Maximale Größe"
  bool fixedSize = false;   // "Feste Größe (kein Menü)" (FixedSizeCheck)
  std::string projectName;  // NameED, Windows-1252

  [[nodiscard]] bool element(WindowElement which) const {
    return elements[static_cast<std::size_t>(which)];
  }
  bool& element(WindowElement which) { return elements[static_cast<std::size_t>(which)]; }

  bool operator==(const ProjectSettings&) const = default;
};

}  // namespace vantrel

#include "res/Resources.h"

#include <algorithm>
#include <cmath>

namespace res {

namespace {

const StringResource kStrings[] = {
#define STR(id, text) {id, text},
#include "res/StringTable.inc"
#undef STR
};

std::vector<DialogTemplate> BuildTemplates() {
  std::vector<DialogTemplate> templates;
  auto add = [&](int id, const char* caption) { templates.push_back(DialogTemplate{id, caption, {}}); };
  auto control = [&](int dlg, int id, const char* kind, const char* caption, const char* style) {
    for (auto& t : templates)
      if (t.id == dlg) t.controls.push_back(ControlTemplate{id, kind, caption, style});
  };
#define DLG(id, caption) add(id, caption);
#define CTL(dlg, id, kind, caption, style) control(dlg, id, kind, caption, style);
#include "res/DialogTemplates.inc"
#undef DLG
#undef CTL
  return templates;
}

// A receiver board seen from above: green board, antenna connector, status LED.
BitmapResource DrawPluginBitmap() {
  BitmapResource b{IDB_PLUGIN, 32, 32, std::vector<std::uint32_t>(32 * 32, 0xFFFFFF)};
  auto put = [&](int x, int y, std::uint32_t c) {
    if (x >= 0 && x < 32 && y >= 0 && y < 32) b.pixels[static_cast<size_t>(y * 32 + x)] = c;
  };
  for (int y = 6; y < 28; ++y)
    for (int x = 3; x < 29; ++x) put(x, y, (x == 3 || x == 28 || y == 6 || y == 27) ? 0x0B3D0B : 0x1E7A2E);
  for (int y = 12; y < 20; ++y)
    for (int x = 11; x < 21; ++x) put(x, y, 0x202020);
  for (int i = 0; i < 5; ++i) {
    put(9, 13 + i, 0xC0C0C0);
    put(22, 13 + i, 0xC0C0C0);
  }
  for (int y = 1; y < 7; ++y)
    for (int x = 14; x < 18; ++x) put(x, y, 0xD4AF37);
  for (int a = 0; a < 360; a += 10) {
    const double r = a * 3.14159265 / 180.0;
    put(16 + static_cast<int>(std::lround(4 * std::cos(r))), 3 + static_cast<int>(std::lround(2 * std::sin(r))), 0x808080);
  }
  put(25, 24, 0xFF2020);
  put(24, 24, 0xFF2020);
  return b;
}

}  // namespace

const StringResource* StringTable() { return kStrings; }
std::size_t StringCount() { return sizeof kStrings / sizeof kStrings[0]; }

const std::vector<DialogTemplate>& DialogTemplates() {
  static const std::vector<DialogTemplate> templates = BuildTemplates();
  return templates;
}

const std::map<std::string, std::string>& VersionStrings() {
  static const std::map<std::string, std::string> strings = {
#define VERSION_STRING(key, text) {key, text},
#include "res/VersionStrings.inc"
#undef VERSION_STRING
  };

  return strings;
}

const BitmapResource* Bitmap(UINT id) {
  static const BitmapResource bitmap = DrawPluginBitmap();
  return id == IDB_PLUGIN ? &bitmap : nullptr;
}

void Install(AFX_MODULE_STATE* state) {
  state->strings = StringTable();
  state->stringCount = StringCount();
  state->dialogs = &DialogTemplates();
  state->versionStrings = VersionStrings();
  state->bitmap = &Bitmap;
}

}  // namespace res

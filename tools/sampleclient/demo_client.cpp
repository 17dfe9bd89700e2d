// The demo client's two versions.
#include <array>

#include "tools/sampleclient/sample_client.h"

namespace sample_client {

namespace {

enum class Presence { Both, FirstOnly, SecondOnly };

struct DemoEntry {
  const char* path;
  std::uint64_t size;
  Presence presence;
  bool changedInSecond;
};

constexpr std::uint64_t KiB = 1024;

// Names with a space and with non-ASCII letters are there on purpose: the installed copy must
// come out under exactly these names.
constexpr std::array kDemoEntries{
    DemoEntry{"system/engine_core.bin", 1200 * KiB, Presence::Both, true},
    DemoEntry{"system/physics.bin", 600 * KiB, Presence::Both, false},
    DemoEntry{"system/render.bin", 800 * KiB, Presence::Both, false},
    DemoEntry{"config/default.ini", 2 * KiB, Presence::Both, true},
    DemoEntry{"config/keybindings.ini", 3 * KiB, Presence::Both, false},
    DemoEntry{"data/textures/terrain_01.pak", 310 * KiB, Presence::Both, false},
    DemoEntry{"data/textures/terrain_02.pak", 250 * KiB, Presence::Both, false},
    DemoEntry{"data/textures/terrain_03.pak", 380 * KiB, Presence::Both, true},
    DemoEntry{"data/textures/terrain_04.pak", 220 * KiB, Presence::Both, false},
    DemoEntry{"data/textures/legacy_sky.pak", 150 * KiB, Presence::FirstOnly, false},
    DemoEntry{"data/textures/characters/hero.pak", 420 * KiB, Presence::Both, true},
    DemoEntry{"data/textures/characters/villager.pak", 180 * KiB, Presence::Both, false},
    DemoEntry{"data/textures/characters/wolf.pak", 140 * KiB, Presence::Both, false},
    DemoEntry{"data/textures/characters/drake.pak", 260 * KiB, Presence::SecondOnly, false},
    DemoEntry{"data/sounds/ambient forest.bnk", 330 * KiB, Presence::Both, false},
    DemoEntry{"data/sounds/old_intro.bnk", 90 * KiB, Presence::FirstOnly, false},
    DemoEntry{"data/sounds/music/theme.bnk", 450 * KiB, Presence::Both, false},
    DemoEntry{"data/sounds/music/battle.bnk", 390 * KiB, Presence::Both, true},
    DemoEntry{"data/maps/Fjällheim.map", 120 * KiB, Presence::Both, true},
    DemoEntry{"data/maps/harbour.map", 95 * KiB, Presence::Both, false},
    DemoEntry{"data/maps/caves.map", 70 * KiB, Presence::Both, false},
    DemoEntry{"data/maps/new region/outpost.map", 85 * KiB, Presence::SecondOnly, false},
    DemoEntry{"data/maps/new region/ruins.map", 60 * KiB, Presence::SecondOnly, false},
    DemoEntry{"data/ui/icons.pak", 75 * KiB, Presence::Both, false},
    DemoEntry{"data/ui/layout.xml", 12 * KiB, Presence::Both, true},
    DemoEntry{"data/ui/fonts/main.fnt", 48 * KiB, Presence::Both, false},
    DemoEntry{"locale/en/strings.txt", 9 * KiB, Presence::Both, false},
    DemoEntry{"locale/de/strings.txt", 10 * KiB, Presence::Both, true},
    DemoEntry{"locale/fr/strings.txt", 10 * KiB, Presence::Both, false},
    DemoEntry{"locale/sv/strings.txt", 9 * KiB, Presence::SecondOnly, false},
    DemoEntry{"empty.marker", 0, Presence::Both, false},
};

bool InVersion(Presence presence, int version) {
  if (presence == Presence::Both) return true;
  return (presence == Presence::FirstOnly) == (version == 1);
}

SampleFile ForVersion(const DemoEntry& entry, std::uint64_t index, int version) {
  SampleFile file{entry.path, entry.size, index + 1};
  if (version != 1 && entry.changedInSecond) {
    file.seed += 1000;
    file.size += 3 * KiB;
  }
  return file;
}

}  // namespace

std::vector<SampleFile> DemoClientFiles(int version) {
  std::vector<SampleFile> files;
  for (std::size_t i = 0; i < kDemoEntries.size(); ++i) {
    if (InVersion(kDemoEntries[i].presence, version))
      files.push_back(ForVersion(kDemoEntries[i], i, version));
  }
  return files;
}

}  // namespace sample_client

#pragma once
// The settings form and the made-up files the route tests share.
#include <algorithm>
#include <iterator>

#include "protocol/protocol_fixture.h"
#include "settings/delivery.h"

namespace zorbel::settings_test {

inline DeviceSettings Form() {
  DeviceSettings form;
  form.ssid = "home";
  form.password = "secret";
  return form;
}

// The routes' files, named as the tool names them, in the scratch folder.
inline SettingsFiles FilesIn(const testing::TempFolder& dir) {
  SettingsFiles files;
  files.textPath = dir.File(kSettingsTextFile);
  files.templatePath = dir.File(kTemplateImageFile);
  files.imagePath = dir.File(kSettingsImageFile);
  return files;
}

// A made-up template: the marker at 100 in 4 KB of varied bytes.
inline SettingsFiles MakeFiles(const testing::TempFolder& dir) {
  auto image = testing::Pattern(4096, 3);
  std::copy(std::begin(kSettingsMarker), std::end(kSettingsMarker), image.begin() + 100);
  const SettingsFiles files = FilesIn(dir);
  testing::WriteBytes(files.templatePath, image);
  return files;
}

}  // namespace zorbel::settings_test

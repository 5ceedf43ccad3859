// The device settings form: a form that passes makes a text of well-formed
// UTF-8 that fits the image's settings area.
#include "app/utf8.h"
#include "fuzz_support.h"
#include "settings/device_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorbel;
  if (size < 1) return 0;
  DeviceSettings form;
  form.encryptionIndex = data[0] & 1;
  form.ipModeIndex = (data[0] >> 1) & 1;
  std::string* fields[] = {&form.name,    &form.ssid,    &form.password, &form.ipAddress,
                           &form.netmask, &form.gateway, &form.dns0,     &form.dns1};
  size_t field = 0;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && field + 1 < std::size(fields)) {
      ++field;
    } else {
      fields[field]->push_back(static_cast<char>(data[i]));
    }
  }
  if (!ValidateDeviceSettings(form).empty()) return 0;
  const std::string text = FormatSettingsText(form);
  fuzz::Require(text.size() <= kMaxEmbeddedText);
  fuzz::Require(IsValidUtf8(text));
  return 0;
}

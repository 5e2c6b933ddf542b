#include "util/RegionalConfig.h"

#include "platform/Platform.h"

namespace {

void Override(const TIniConfig& config, const char* key, char& separator) {
  const std::string value = config.ReadString("regional", key, "");
  if (value.size() == 1) {
    separator = value[0];
  }
}

}  // namespace

void ApplyRegionalConfig(const TIniConfig& config) {
  platform::Platform& os = platform::Current();
  platform::RegionalSettings settings = os.Regional();
  Override(config, "decimal_separator", settings.decimalSeparator);
  Override(config, "thousands_separator", settings.thousandsSeparator);
  Override(config, "date_separator", settings.dateSeparator);
  Override(config, "time_separator", settings.timeSeparator);
  os.OverrideRegional(settings);
}

#include "settings/config_json.h"

#include <nlohmann/json.hpp>

namespace {

std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

const char* JsonBool(bool value) {
  return value ? "true" : "false";
}

}  // namespace

std::string FormatConfigJson(const DisplaySettings& settings) {
  return std::string("{\"resolution\":") + JsonString(settings.resolution) +
         ",\"windowed\":" + JsonBool(settings.windowed) + ",\"vsync\":" + JsonBool(settings.vsync) +
         ",\"antiAliasing\":" + std::to_string(settings.antiAliasing) +
         ",\"version\":" + JsonString(settings.version) + "}";
}

#include "Config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvo::sanebackend {
namespace {

constexpr std::size_t kMaxConfigBytes = 64 * 1024;  // a configuration is a few lines
constexpr int kMaxAdapter = 255;

std::string Resolved(const std::string& path, const std::string& folder) {
  if (path.empty() || path[0] == '/' || folder.empty()) return path;
  return folder + "/" + path;
}

}  // namespace

std::vector<std::string> ConfigFolders(const char* configDir) {
  std::vector<std::string> folders;
  if (configDir == nullptr || *configDir == '\0') return {kSystemConfigFolder};
  std::string dirs = configDir;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t colon = dirs.find(':', start);
    const std::size_t end = colon == std::string::npos ? dirs.size() : colon;
    if (end > start) folders.push_back(dirs.substr(start, end - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (!dirs.empty() && dirs.back() == ':') folders.push_back(kSystemConfigFolder);
  return folders;
}

DriverConfig ParseConfig(const std::string& text, const std::string& folder) {
  DriverConfig config;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    const std::size_t keyStart = line.find_first_not_of(" \t\r");
    if (keyStart == std::string::npos) continue;
    const std::size_t keyEnd = line.find_first_of(" \t", keyStart);
    const std::string key = line.substr(keyStart, keyEnd - keyStart);
    std::string value;
    if (keyEnd != std::string::npos) {
      const std::size_t valueStart = line.find_first_not_of(" \t", keyEnd);
      const std::size_t valueEnd = line.find_last_not_of(" \t\r");
      if (valueStart != std::string::npos) value = line.substr(valueStart, valueEnd - valueStart + 1);
    }
    if (key == "aspi") {
      config.aspiLibrary = Resolved(value, folder);
    } else if (key == "simulator") {
      config.simulatorConfig = Resolved(value, folder);
    } else if (key == "adapter") {
      char* rest = nullptr;
      const long adapter = std::strtol(value.c_str(), &rest, 10);
      if (!value.empty() && *rest == '\0' && adapter >= 0 && adapter <= kMaxAdapter) {
        config.adapters.push_back(static_cast<int>(adapter));
      }
    }
  }
  return config;
}

DriverConfig ReadConfig(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + kConfigFile;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) continue;
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while (text.size() < kMaxConfigBytes && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      text.append(buffer, n);
    }
    std::fclose(file);
    return ParseConfig(text, folder);
  }
  return {};
}

}  // namespace tarvo::sanebackend

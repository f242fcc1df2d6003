// COM port names to device paths: the environment, the settings file, the default.
#include "SerialPortMap.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <strings.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "KestroSerialPorts.h"

namespace kcm::serial {

namespace {

const char kSettingsFileName[] = "KestroCommonModule.xml";

std::string SettingsFilePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&DevicePathForPort), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string library = info.dli_fname;
  const size_t slash = library.rfind('/');
  return (slash == std::string::npos ? std::string(".") : library.substr(0, slash)) + "/" + kSettingsFileName;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string DecodeEntities(const std::string& value) {
  static const std::pair<const char*, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string decoded;
  for (size_t i = 0; i < value.size();) {
    bool replaced = false;
    for (const auto& entity : kEntities) {
      const std::string name = entity.first;
      if (value.compare(i, name.size(), name) == 0) {
        decoded += entity.second;
        i += name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) decoded += value[i++];
  }
  return decoded;
}

// The value of attribute `name` in the text of one start tag; empty when absent.
std::string AttributeValue(const std::string& tag, const std::string& name) {
  for (size_t at = tag.find(name); at != std::string::npos; at = tag.find(name, at + 1)) {
    const bool startsWord = at > 0 && std::isspace(static_cast<unsigned char>(tag[at - 1]));
    size_t cursor = at + name.size();
    while (cursor < tag.size() && std::isspace(static_cast<unsigned char>(tag[cursor]))) ++cursor;
    if (!startsWord || cursor >= tag.size() || tag[cursor] != '=') continue;
    ++cursor;
    while (cursor < tag.size() && std::isspace(static_cast<unsigned char>(tag[cursor]))) ++cursor;
    if (cursor >= tag.size() || (tag[cursor] != '"' && tag[cursor] != '\'')) return {};
    const size_t end = tag.find(tag[cursor], cursor + 1);
    if (end == std::string::npos) return {};
    return DecodeEntities(tag.substr(cursor + 1, end - cursor - 1));
  }
  return {};
}

bool IsElementStart(const std::string& xml, size_t at, const std::string& name) {
  if (xml.compare(at, name.size() + 1, "<" + name) != 0) return false;
  const char next = at + name.size() + 1 < xml.size() ? xml[at + name.size() + 1] : '\0';
  return next == '>' || next == '/' || std::isspace(static_cast<unsigned char>(next));
}

// The device of `number` among the <port> elements between `from` and `to`.
std::string DeviceInSection(const std::string& xml, size_t from, size_t to, int number, std::string device) {
  for (size_t at = xml.find("<port", from); at != std::string::npos && at < to; at = xml.find("<port", at + 1)) {
    if (!IsElementStart(xml, at, "port")) continue;
    const size_t end = xml.find('>', at);
    if (end == std::string::npos) break;
    const std::string tag = xml.substr(at, end - at);
    if (AttributeValue(tag, "number") == std::to_string(number)) device = AttributeValue(tag, "device");
  }
  return device;
}

}  // namespace

int ComPortNumber(const std::string& portName) {
  std::string name = portName;
  if (name.compare(0, 4, "\\\\.\\") == 0) name = name.substr(4);
  if (name.size() < 4 || strncasecmp(name.c_str(), "com", 3) != 0) return 0;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i])) || number > 99999) return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

std::string DeviceFromSettings(const std::string& xml, int number) {
  std::string device;
  for (size_t at = xml.find("<serial"); at != std::string::npos; at = xml.find("<serial", at + 1)) {
    if (!IsElementStart(xml, at, "serial")) continue;
    const size_t open = xml.find('>', at);
    if (open == std::string::npos || xml[open - 1] == '/') continue;  // <serial/> holds nothing
    const size_t close = xml.find("</serial>", open);
    device = DeviceInSection(xml, open, close == std::string::npos ? xml.size() : close, number, device);
  }
  return device;
}

std::string DevicePathForPort(int number) {
  const std::string variable = "KCM_COM" + std::to_string(number);
  if (const char* fromEnvironment = getenv(variable.c_str()); fromEnvironment != nullptr && *fromEnvironment) {
    return fromEnvironment;
  }
  const std::string fromSettings = DeviceFromSettings(ReadWholeFile(SettingsFilePath()), number);
  if (!fromSettings.empty()) return fromSettings;
  return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace kcm::serial

std::string KcmSerialDevicePath(const std::string& portName) {
  const int number = kcm::serial::ComPortNumber(portName);
  return number > 0 ? kcm::serial::DevicePathForPort(number) : std::string();
}

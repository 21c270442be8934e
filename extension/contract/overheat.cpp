#include "extension/contract/overheat.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/objc/foundation.hpp"
#include "common/os/file.hpp"
#include "common/rootpath/rootpath.hpp"
#include "extension/contract/report.hpp"

namespace halvernic::contract {

namespace {

std::optional<std::int64_t> integerOf(id value) {
  if (!objc::isNumber(value) || objc::isBoolean(value)) return std::nullopt;
  const double exact = objc::doubleValue(value);
  const std::int64_t integer = objc::int64Value(value);
  if (static_cast<double>(integer) != exact) return std::nullopt;
  return integer;
}

}  // namespace

std::string celsiusText(int centiCelsius) {
  const long long magnitude = std::llabs(static_cast<long long>(centiCelsius));
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", centiCelsius < 0 ? "-" : "", magnitude / 100,
                magnitude % 100);
  return text;
}

std::string resolvedOverheatStatePath() {
  char buffer[rootpath::kBufferSize];
  const char* resolved = jbroot(kOverheatStatePath, buffer);
  return resolved ? std::string(resolved) : std::string();
}

OverheatStateReading readOverheatState(std::string_view path) {
  using Status = OverheatStateReading::Status;
  OverheatStateReading reading;
  if (path.empty()) return reading;
  std::string bytes;
  errno = 0;
  switch (os::readFile(std::string(path).c_str(), kMaxOverheatStateFileSize, bytes)) {
    case os::ReadStatus::ok: break;
    case os::ReadStatus::missing: return reading;
    case os::ReadStatus::tooLarge: reading.status = Status::damaged; return reading;
    case os::ReadStatus::failed:
      // No folder where the file would be: there is no file either.
      if (errno == ENOTDIR) return reading;
      reading.status = Status::damaged;
      return reading;
  }
  reading.status = Status::damaged;
  try {
    objc::AutoreleasePool pool;
    objc::Ref data = objc::makeData(bytes);
    objc::Ref root = objc::parsePropertyList(data.get());
    if (!objc::isDictionary(root.get())) return reading;
    id engaged = objc::dictionaryGet(root.get(), kOverheatEngagedKey);
    const std::optional<std::int64_t> at =
        integerOf(objc::dictionaryGet(root.get(), kOverheatEngagedAtKey));
    const std::optional<std::int64_t> wall =
        integerOf(objc::dictionaryGet(root.get(), kOverheatEngagedAtWallKey));
    const std::optional<std::int64_t> value =
        integerOf(objc::dictionaryGet(root.get(), kOverheatReadingKey));
    if (!objc::isBoolean(engaged) || !objc::platformBoolValue(engaged) || !at) return reading;
    reading.status = Status::engaged;
    reading.state.engagedAt = *at;
    reading.state.engagedAtWall = wall.value_or(0);
    if (value && *value >= INT32_MIN && *value <= INT32_MAX) {
      reading.state.readingCentiCelsius = static_cast<int>(*value);
    }
  } catch (...) {
    reading.status = Status::damaged;
  }
  return reading;
}

int writeOverheatState(std::string_view path, const OverheatState& state) {
  std::optional<std::string> bytes;
  {
    objc::AutoreleasePool pool;
    objc::Ref root = objc::makeMutableDictionary();
    objc::dictionarySet(root.get(), kOverheatEngagedKey, objc::boolean(true));
    objc::dictionarySet(root.get(), kOverheatEngagedAtKey, objc::number(state.engagedAt));
    objc::dictionarySet(root.get(), kOverheatEngagedAtWallKey, objc::number(state.engagedAtWall));
    objc::dictionarySet(root.get(), kOverheatReadingKey,
                        objc::number(static_cast<std::int64_t>(state.readingCentiCelsius)));
    bytes = objc::propertyListXml(root.get());
  }
  if (!bytes) return EINVAL;
  return writeStateFile(path, *bytes, kOverheatStateFileMode);
}

int removeOverheatState(std::string_view path) {
  if (path.empty()) return 0;
  if (::unlink(std::string(path).c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return 0;
  return errno;
}

}  // namespace halvernic::contract

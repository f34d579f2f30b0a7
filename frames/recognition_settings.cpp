#include "frames/recognition_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <istream>
#include <limits>
#include <locale>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "host/strings.h"

namespace OrvikFrameRecognition {

namespace {

// Deep enough for any fixture a tool writes; shallow enough that the recursion cannot exhaust the
// host's stack.
constexpr int kMaximumSkipDepth = 128;

std::mutex g_productionMutex;
Settings g_productionSettings;  // guarded by g_productionMutex

bool FiniteAtLeastZero(double value) { return std::isfinite(value) && value >= 0; }

// Reads JSON byte by byte from a stream, failing with the subsystem's error at the first fault.
class JsonReader {
 public:
  explicit JsonReader(std::istream& in) : m_in(*in.rdbuf()) {}

  int Peek() {
    for (;;) {
      const int c = m_in.sgetc();
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return c;
      m_in.sbumpc();
    }
  }

  bool Take(char c) {
    if (Peek() != static_cast<unsigned char>(c)) return false;
    m_in.sbumpc();
    return true;
  }

  void Expect(char c) { Require(Take(c), std::string("invalid JSON, expected '") + c + "'"); }

  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      const int c = m_in.sbumpc();
      Require(c != Eof() && c >= 0x20, "unterminated or invalid JSON string");
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(static_cast<char>(c));
        continue;
      }
      const int escape = m_in.sbumpc();
      switch (escape) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': AppendUtf8(out, CodePoint()); break;
        default: Require(false, "invalid JSON escape");
      }
    }
  }

  double Number() {
    Peek();
    std::string text;
    if (m_in.sgetc() == '-') text.push_back(Bump());
    Require(IsDigit(m_in.sgetc()), "invalid JSON number");
    if (m_in.sgetc() == '0') text.push_back(Bump());
    else
      while (IsDigit(m_in.sgetc())) text.push_back(Bump());
    if (m_in.sgetc() == '.') {
      text.push_back(Bump());
      Require(IsDigit(m_in.sgetc()), "invalid JSON fraction");
      while (IsDigit(m_in.sgetc())) text.push_back(Bump());
    }
    if (m_in.sgetc() == 'e' || m_in.sgetc() == 'E') {
      text.push_back(Bump());
      if (m_in.sgetc() == '+' || m_in.sgetc() == '-') text.push_back(Bump());
      Require(IsDigit(m_in.sgetc()), "invalid JSON exponent");
      while (IsDigit(m_in.sgetc())) text.push_back(Bump());
    }
    // The classic locale: the host may have set a locale whose decimal mark is a comma.
    std::istringstream parse(text);
    parse.imbue(std::locale::classic());
    double value = 0;
    parse >> value;
    Require(!parse.fail() && std::isfinite(value), "non-finite or invalid JSON number");
    return value;
  }

  int32_t Integer() {
    const double value = Number();
    Require(value == std::floor(value) && value >= std::numeric_limits<int32_t>::min() &&
                value <= std::numeric_limits<int32_t>::max(),
            "invalid JSON integer");
    return static_cast<int32_t>(value);
  }

  void Skip(int depth) {
    Require(depth <= kMaximumSkipDepth, "JSON nesting too deep");
    const int c = Peek();
    if (c == '"') {
      String();
    } else if (c == '{') {
      m_in.sbumpc();
      if (Take('}')) return;
      do {
        String();
        Expect(':');
        Skip(depth + 1);
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      m_in.sbumpc();
      if (Take(']')) return;
      do Skip(depth + 1);
      while (Take(','));
      Expect(']');
    } else if (c == '-' || IsDigit(c)) {
      Number();
    } else if (c == 't') {
      Literal("true");
    } else if (c == 'f') {
      Literal("false");
    } else if (c == 'n') {
      Literal("null");
    } else {
      Require(false, "invalid JSON value");
    }
  }

 private:
  static int Eof() { return std::char_traits<char>::eof(); }
  static bool IsDigit(int c) { return c >= '0' && c <= '9'; }
  char Bump() { return static_cast<char>(m_in.sbumpc()); }

  void Literal(const char* word) {
    for (const char* p = word; *p; ++p) Require(m_in.sbumpc() == *p, "invalid JSON literal");
  }

  uint32_t Hex4() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const int c = m_in.sbumpc();
      uint32_t digit = 0;
      if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') digit = static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
      else Require(false, "invalid JSON unicode escape");
      value = value * 16 + digit;
    }
    return value;
  }

  // After "\u": one code point, joining a surrogate pair.
  uint32_t CodePoint() {
    const uint32_t code = Hex4();
    if (code >= 0xDC00 && code <= 0xDFFF) Require(false, "unpaired unicode surrogate");
    if (code < 0xD800 || code > 0xDBFF) return code;
    Require(m_in.sbumpc() == '\\' && m_in.sbumpc() == 'u', "missing low unicode surrogate");
    const uint32_t low = Hex4();
    Require(low >= 0xDC00 && low <= 0xDFFF, "invalid low unicode surrogate");
    return ((code - 0xD800) << 10) + 0x10000 + (low - 0xDC00);
  }

  std::streambuf& m_in;
};

const char* const kSettingsFields[] = {
    "IgnoreLengthThreshold",
    "IgnoreLayerNames",
    "MaximumEntityLevel",
    "AxisCoordinateTolerance",
    "LineComparisonTolerance",
    "EndpointKeyDecimalPlaces",
    "EndpointKeyCulture",
    "OrthogonalBlockRotationToleranceDegrees",
    "SimilarBoundsRelativeTolerance",
    "MinimumPolylineVertexCount",
    "MaximumPolylineVertexCount",
};

// Reads one known member's value into the settings; false for a name that is not a field.
bool ReadField(JsonReader& reader, const std::string& name, Settings& s) {
  if (name == "IgnoreLengthThreshold") s.IgnoreLengthThreshold = reader.Number();
  else if (name == "IgnoreLayerNames") {
    s.IgnoreLayerNames.clear();
    reader.Expect('[');
    if (!reader.Take(']')) {
      do s.IgnoreLayerNames.push_back(reader.String());
      while (reader.Take(','));
      reader.Expect(']');
    }
  } else if (name == "MaximumEntityLevel") s.MaximumEntityLevel = reader.Integer();
  else if (name == "AxisCoordinateTolerance") s.AxisCoordinateTolerance = reader.Number();
  else if (name == "LineComparisonTolerance") s.LineComparisonTolerance = reader.Number();
  else if (name == "EndpointKeyDecimalPlaces") s.EndpointKeyDecimalPlaces = reader.Integer();
  else if (name == "EndpointKeyCulture") s.EndpointKeyCulture = reader.String();
  else if (name == "OrthogonalBlockRotationToleranceDegrees") s.OrthogonalBlockRotationToleranceDegrees = reader.Number();
  else if (name == "SimilarBoundsRelativeTolerance") s.SimilarBoundsRelativeTolerance = reader.Number();
  else if (name == "MinimumPolylineVertexCount") s.MinimumPolylineVertexCount = reader.Integer();
  else if (name == "MaximumPolylineVertexCount") s.MaximumPolylineVertexCount = reader.Integer();
  else return false;
  return true;
}

Settings ReadSettings(JsonReader& reader) {
  Settings settings;
  reader.Expect('{');
  Require(!reader.Take('}'), "Settings is empty");
  std::set<std::string> seen;
  do {
    std::string name = reader.String();
    Require(seen.insert(name).second, "duplicate Settings field " + name);
    reader.Expect(':');
    if (!ReadField(reader, name, settings)) reader.Skip(0);
  } while (reader.Take(','));
  reader.Expect('}');
  for (const char* field : kSettingsFields) Require(seen.count(field) != 0, std::string("missing Settings.") + field);
  Validate(settings);
  return settings;
}

Settings ReadHeader(std::istream& in) {
  std::streambuf& bytes = *in.rdbuf();
  if (bytes.sgetc() == 0xEF) {
    bytes.sbumpc();
    const bool bom = bytes.sbumpc() == 0xBB && bytes.sbumpc() == 0xBF;
    Require(bom, "invalid UTF-8 BOM");
  }
  JsonReader reader(in);
  reader.Expect('{');
  Require(!reader.Take('}'), "empty fixture");
  bool schemaVersion = false, coordinateSystem = false, haveSettings = false;
  Settings settings;
  for (;;) {
    const std::string name = reader.String();
    reader.Expect(':');
    if (name == "SchemaVersion") {
      Require(!schemaVersion && reader.Integer() == 2, "unsupported or duplicate SchemaVersion");
      schemaVersion = true;
    } else if (name == "CoordinateSystem") {
      Require(!coordinateSystem && reader.String() == "WCS", "unsupported or duplicate CoordinateSystem");
      coordinateSystem = true;
    } else if (name == "Settings") {
      Require(!haveSettings, "duplicate Settings");
      settings = ReadSettings(reader);
      haveSettings = true;
    } else {
      reader.Skip(0);
    }
    // The rest of the document (the recognition input) is not the settings' concern.
    if (schemaVersion && coordinateSystem && haveSettings) return settings;
    Require(reader.Take(','), "fixture requires SchemaVersion, CoordinateSystem and Settings");
  }
}

// Reads a file descriptor through the standard stream interface, a buffer at a time.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : m_fd(fd) {}
  ~DescriptorBuffer() override { ::close(m_fd); }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    ssize_t n;
    do n = ::read(m_fd, m_buffer, sizeof m_buffer);
    while (n < 0 && errno == EINTR);
    if (n <= 0) return traits_type::eof();
    setg(m_buffer, m_buffer, m_buffer + n);
    return traits_type::to_int_type(*gptr());
  }

 private:
  int m_fd;
  char m_buffer[16384];
};

}  // namespace

void Require(bool condition, const char* message) {
  if (!condition) throw std::runtime_error(std::string("Frame recognition input: ") + message);
}

void Require(bool condition, const std::string& message) { Require(condition, message.c_str()); }

void Validate(const Settings& s) {
  Require(FiniteAtLeastZero(s.IgnoreLengthThreshold), "invalid IgnoreLengthThreshold");
  Require(s.MaximumEntityLevel >= 0 && s.MaximumEntityLevel <= 64, "invalid MaximumEntityLevel");
  Require(FiniteAtLeastZero(s.AxisCoordinateTolerance), "invalid AxisCoordinateTolerance");
  Require(FiniteAtLeastZero(s.LineComparisonTolerance), "invalid LineComparisonTolerance");
  Require(s.EndpointKeyDecimalPlaces >= 0 && s.EndpointKeyDecimalPlaces <= 15, "invalid EndpointKeyDecimalPlaces");
  Require(std::isfinite(s.OrthogonalBlockRotationToleranceDegrees) && s.OrthogonalBlockRotationToleranceDegrees > 0,
          "invalid OrthogonalBlockRotationToleranceDegrees");
  Require(FiniteAtLeastZero(s.SimilarBoundsRelativeTolerance), "invalid SimilarBoundsRelativeTolerance");
  Require(s.MinimumPolylineVertexCount >= 0 && s.MaximumPolylineVertexCount >= s.MinimumPolylineVertexCount,
          "invalid polyline vertex limits");
}

Settings GetProductionSettings() {
  std::lock_guard<std::mutex> lock(g_productionMutex);
  return g_productionSettings;
}

void SetProductionSettings(const Settings& settings) {
  Validate(settings);
  std::lock_guard<std::mutex> lock(g_productionMutex);
  g_productionSettings = settings;
}

Settings ParseSettingsFromFixtureJson(const std::string& text) {
  std::istringstream in(text);
  return ReadHeader(in);
}

Settings LoadSettings(const std::wstring& path) {
  const std::string file = OrvikUtf8(path);
  // Opened without blocking so that a FIFO cannot stall the caller; then read as usual.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  Require(fd >= 0, "cannot open baseline Settings file");
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    Require(false, "cannot open baseline Settings file");
  }
  DescriptorBuffer buffer(fd);
  std::istream in(&buffer);
  return ReadHeader(in);
}

}  // namespace OrvikFrameRecognition

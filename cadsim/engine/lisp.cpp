// The AutoLISP subset of the simulated host: reader, evaluator and the few functions it knows.
#include "cadsim/engine/lisp.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <stdexcept>
#include <vector>

#include "cadsim/engine/session_state.h"

namespace cadsim {
namespace {

struct LispError : std::runtime_error {
  explicit LispError(const std::string& what) : std::runtime_error(what) {}
};

// The drawing the evaluation runs in was closed by a command it ran: nothing of it may run on.
struct DrawingClosed {};

struct Value {
  enum Kind { kNil, kT, kInt, kReal, kStr, kSym, kList, kQuiet };
  Kind kind = kNil;
  long long i = 0;
  double r = 0;
  std::wstring s;  // string text or symbol name (upper case)
  std::vector<Value> list;

  static Value nil() { return Value(); }
  static Value str(std::wstring text) {
    Value v;
    v.kind = kStr;
    v.s = std::move(text);
    return v;
  }
  static Value integer(long long n) {
    Value v;
    v.kind = kInt;
    v.i = n;
    return v;
  }
  static Value real(double d) {
    Value v;
    v.kind = kReal;
    v.r = d;
    return v;
  }
};

// Nesting deeper than this is refused rather than risking the stack.
constexpr int kMaxDepth = 200;

std::wstring formatReal(double d) {
  wchar_t buf[64];
  std::swprintf(buf, 64, L"%.6g", d);
  std::wstring s = buf;
  if (s.find_first_of(L".eE") == std::wstring::npos && std::isfinite(d)) s += L".0";
  return s;
}

std::wstring repr(const Value& v, bool quoted) {
  switch (v.kind) {
    case Value::kNil: return L"nil";
    case Value::kT: return L"T";
    case Value::kQuiet: return L"";
    case Value::kInt: return std::to_wstring(v.i);
    case Value::kReal: return formatReal(v.r);
    case Value::kSym: return v.s;
    case Value::kStr: {
      if (!quoted) return v.s;
      std::wstring out = L"\"";
      for (wchar_t c : v.s) {
        if (c == L'"' || c == L'\\') out += L'\\', out += c;
        else if (c == L'\n') out += L"\\n";
        else if (c == L'\t') out += L"\\t";
        else out += c;
      }
      return out + L"\"";
    }
    case Value::kList: {
      std::wstring out = L"(";
      for (size_t k = 0; k < v.list.size(); ++k) out += (k ? L" " : L"") + repr(v.list[k], quoted);
      return out + L")";
    }
  }
  return L"";
}

std::string argText(const Value& v) { return narrow(repr(v, true)); }

// --- reader ---------------------------------------------------------------------------------------

class Reader {
 public:
  explicit Reader(const std::wstring& text) : m_text(text) {}

  bool atEnd() {
    skipBlanks();
    return m_pos >= m_text.size();
  }

  Value read(int depth = 0) {
    if (depth > kMaxDepth) throw LispError("malformed list on input");
    skipBlanks();
    if (m_pos >= m_text.size()) throw LispError("malformed list on input");
    wchar_t c = m_text[m_pos];
    if (c == L')') throw LispError("extra right paren on input");
    if (c == L'(') {
      ++m_pos;
      Value list;
      list.kind = Value::kList;
      for (;;) {
        skipBlanks();
        if (m_pos >= m_text.size()) throw LispError("malformed list on input");
        if (m_text[m_pos] == L')') {
          ++m_pos;
          break;
        }
        list.list.push_back(read(depth + 1));
      }
      if (list.list.empty()) return Value::nil();
      return list;
    }
    if (c == L'\'') {
      ++m_pos;
      Value q;
      q.kind = Value::kList;
      Value sym;
      sym.kind = Value::kSym;
      sym.s = L"QUOTE";
      q.list.push_back(sym);
      q.list.push_back(read(depth + 1));
      return q;
    }
    if (c == L'"') return readString();
    return readAtom();
  }

 private:
  void skipBlanks() {
    while (m_pos < m_text.size()) {
      wchar_t c = m_text[m_pos];
      if (c == L';') {
        while (m_pos < m_text.size() && m_text[m_pos] != L'\n') ++m_pos;
      } else if (c == L' ' || c == L'\t' || c == L'\n' || c == L'\r') {
        ++m_pos;
      } else {
        return;
      }
    }
  }

  Value readString() {
    ++m_pos;  // opening quote
    std::wstring out;
    while (m_pos < m_text.size()) {
      wchar_t c = m_text[m_pos++];
      if (c == L'"') return Value::str(out);
      if (c != L'\\') {
        out += c;
        continue;
      }
      if (m_pos >= m_text.size()) break;
      wchar_t e = m_text[m_pos++];
      switch (e) {
        case L'n': out += L'\n'; break;
        case L't': out += L'\t'; break;
        case L'r': out += L'\r'; break;
        case L'e': out += L'\x1b'; break;
        default:
          if (e >= L'0' && e <= L'7') {
            int v = e - L'0';
            for (int k = 0; k < 2 && m_pos < m_text.size() && m_text[m_pos] >= L'0' && m_text[m_pos] <= L'7'; ++k)
              v = v * 8 + (m_text[m_pos++] - L'0');
            out += static_cast<wchar_t>(v);
          } else {
            out += e;  // \" \\ and anything else: the character itself
          }
      }
    }
    throw LispError("malformed string on input");
  }

  Value readAtom() {
    size_t start = m_pos;
    while (m_pos < m_text.size()) {
      wchar_t c = m_text[m_pos];
      if (c == L'(' || c == L')' || c == L'"' || c == L'\'' || c == L';' || c == L' ' || c == L'\t' ||
          c == L'\n' || c == L'\r')
        break;
      ++m_pos;
    }
    std::wstring atom = m_text.substr(start, m_pos - start);
    std::string narrowAtom = narrow(atom);
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(narrowAtom.c_str(), &end, 10);
    if (!narrowAtom.empty() && *end == '\0' && narrowAtom.find_first_of("0123456789") != std::string::npos) {
      // Integers are 32-bit; larger ones read as reals, as the host does.
      if (errno == 0 && n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max())
        return Value::integer(n);
      return Value::real(std::strtod(narrowAtom.c_str(), nullptr));
    }
    double d = std::strtod(narrowAtom.c_str(), &end);
    if (!narrowAtom.empty() && *end == '\0' && narrowAtom.find_first_of("0123456789") != std::string::npos &&
        std::isfinite(d))
      return Value::real(d);
    Value sym;
    sym.kind = Value::kSym;
    sym.s = upper(atom);
    if (sym.s == L"NIL") return Value::nil();
    if (sym.s == L"T") sym.kind = Value::kT;
    return sym;
  }

  const std::wstring& m_text;
  size_t m_pos = 0;
};

// --- evaluator ------------------------------------------------------------------------------------

class Evaluator {
 public:
  explicit Evaluator(AcApDocument* doc) : m_doc(doc) {}

  Value eval(const Value& form, int depth = 0) {
    if (depth > kMaxDepth) throw LispError("stack overflow");  // deep nesting
    if (form.kind == Value::kSym) return Value::nil();  // unbound symbols are nil
    if (form.kind != Value::kList) return form;
    const Value& head = form.list[0];
    if (head.kind != Value::kSym && head.kind != Value::kT)
      throw LispError("bad function: " + argText(head));
    const std::wstring& name = head.kind == Value::kT ? std::wstring(L"T") : head.s;
    if (name == L"QUOTE") {
      if (form.list.size() != 2) throw LispError(form.list.size() < 2 ? "too few arguments" : "too many arguments");
      return form.list[1];
    }
    std::vector<Value> args;
    for (size_t k = 1; k < form.list.size(); ++k) args.push_back(eval(form.list[k], depth + 1));
    if (name == L"PROGN") return args.empty() ? Value::nil() : args.back();
    if (name == L"SETVAR") return setvar(args);
    if (name == L"GETVAR") return getvar(args);
    if (name == L"PRINC" || name == L"PRIN1" || name == L"PRINT") return print(name, args);
    if (name == L"STRCAT") return strcat(args);
    if (name == L"COMMAND") return command(args);
    if (name == L"EXIT" || name == L"QUIT") {
      arity(args, 0, 0);
      throw LispError("quit / exit abort");
    }
    throw LispError("no function definition: " + narrow(name));
  }

 private:
  static void arity(const std::vector<Value>& args, size_t min, size_t max) {
    if (args.size() < min) throw LispError("too few arguments");
    if (args.size() > max) throw LispError("too many arguments");
  }

  static const std::wstring& needString(const Value& v) {
    if (v.kind != Value::kStr) throw LispError("bad argument type: stringp " + argText(v));
    return v.s;
  }

  Value setvar(const std::vector<Value>& args) {
    arity(args, 2, 2);
    std::wstring name = upper(needString(args[0]));
    const Value& v = args[1];
    resbuf rb{};
    std::wstring text;
    switch (v.kind) {
      case Value::kStr:
        text = v.s;
        rb.restype = RTSTR;
        rb.resval.rstring = text.data();
        break;
      case Value::kInt:
        if (v.i >= -32768 && v.i <= 32767) {
          rb.restype = RTSHORT;
          rb.resval.rint = static_cast<short>(v.i);
        } else {
          rb.restype = RTLONG;
          rb.resval.rlong = static_cast<Adesk::Int32>(v.i);
        }
        break;
      case Value::kReal:
        rb.restype = RTREAL;
        rb.resval.rreal = v.r;
        break;
      default:
        throw LispError("bad argument type: " + argText(v));
    }
    if (setVariable(name, rb) != RTNORM)
      throw LispError("AutoCAD variable setting rejected: " + argText(args[0]) + " " + argText(v));
    return v;
  }

  Value getvar(const std::vector<Value>& args) {
    arity(args, 1, 1);
    std::wstring name = upper(needString(args[0]));
    resbuf rb{};
    if (getVariable(name, &rb) != RTNORM) return Value::nil();
    if (rb.restype == RTSTR) {
      Value out = Value::str(rb.resval.rstring ? rb.resval.rstring : L"");
      std::free(rb.resval.rstring);
      return out;
    }
    if (rb.restype == RTSHORT) return Value::integer(rb.resval.rint);
    if (rb.restype == RTLONG) return Value::integer(rb.resval.rlong);
    if (rb.restype == RTREAL) return Value::real(rb.resval.rreal);
    return Value::nil();
  }

  Value print(const std::wstring& name, const std::vector<Value>& args) {
    arity(args, 0, 2);
    if (args.empty()) {
      Value quiet;
      quiet.kind = Value::kQuiet;
      return quiet;
    }
    std::wstring text = repr(args[0], name != L"PRINC");
    if (name == L"PRINT") text = L"\n" + text + L" ";
    appendOutputText(narrow(text));
    return args[0];
  }

  static Value strcat(const std::vector<Value>& args) {
    std::wstring out;
    for (const Value& v : args) out += needString(v);
    return Value::str(out);
  }

  Value command(const std::vector<Value>& args) {
    if (args.empty()) return Value::nil();
    std::wstring line;
    for (const Value& v : args) {
      if (v.kind == Value::kNil || v.kind == Value::kQuiet) continue;
      if (!line.empty()) line += L' ';
      line += repr(v, false);
    }
    // An unknown command is reported on the command line and the expression goes on, as in the
    // host.
    executeCommandLine(m_doc, line);
    if (!dataOf(m_doc)) throw DrawingClosed();
    return Value::nil();
  }

  AcApDocument* m_doc;
};

}  // namespace

bool lispComplete(const std::wstring& text) {
  int depth = 0;
  bool inString = false;
  for (size_t k = 0; k < text.size(); ++k) {
    wchar_t c = text[k];
    if (inString) {
      if (c == L'\\') ++k;
      else if (c == L'"') inString = false;
      continue;
    }
    if (c == L';') {
      while (k < text.size() && text[k] != L'\n') ++k;
    } else if (c == L'"') {
      inString = true;
    } else if (c == L'(') {
      ++depth;
    } else if (c == L')') {
      --depth;
    }
  }
  return depth <= 0 && !inString;
}

bool evaluateLisp(AcApDocument* doc, const std::wstring& text) {
  try {
    Reader reader(text);
    Evaluator evaluator(doc);
    Value last;
    bool any = false;
    while (!reader.atEnd()) {
      Value form = reader.read();
      last = evaluator.eval(form);
      any = true;
    }
    if (any && last.kind != Value::kQuiet) appendOutputText(narrow(repr(last, true)) + "\n");
    return true;
  } catch (const DrawingClosed&) {
    // Ended with its drawing: nothing is echoed there any more.
  } catch (const LispError& e) {
    appendOutputText(std::string("; error: ") + e.what() + "\n");
  } catch (const std::exception& e) {
    appendOutputText(std::string("; error: ") + e.what() + "\n");
  }
  return false;
}

}  // namespace cadsim

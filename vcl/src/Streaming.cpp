// The text form format: writer, tokenizer and reader.

#include <cstring>
#include <memory>
#include <string_view>

#include "vcl/Classes.h"
#include "vcl/Graphics.h"

namespace vcl {

namespace {

// Collects what an object defines through DefineProperties.
struct TDefinedProperty {
  std::string Name;
  std::function<void(const std::vector<std::uint8_t>&)> Read;
  std::function<std::vector<std::uint8_t>()> Write;
  bool HasData;
};

class TDefinitionCollector : public TFiler {
public:
  std::vector<TDefinedProperty> Items;
  void DefineBinaryProperty(const std::string& Name,
                            const std::function<void(const std::vector<std::uint8_t>&)>& Read,
                            const std::function<std::vector<std::uint8_t>()>& Write,
                            bool HasData) override {
    Items.push_back({Name, Read, Write, HasData});
  }
};

std::vector<TDefinedProperty> DefinedProperties(TPersistent& Object) {
  TDefinitionCollector c;
  Object.DefineProperties(c);
  return std::move(c.Items);
}

// ---- Writer -----------------------------------------------------------------

// Printable ASCII goes inside quotes; every other byte as #code, so that a
// stored form is plain ASCII whatever its strings hold.
std::string QuoteString(const std::string& S) {
  if (S.empty()) return "''";
  std::string out;
  bool open = false;
  for (unsigned char c : S) {
    if (c >= 32 && c < 127) {
      if (!open) out += '\'';
      open = true;
      out += static_cast<char>(c);
      if (c == '\'') out += '\'';
    } else {
      if (open) out += '\'';
      open = false;
      out += '#' + std::to_string(c);
    }
  }
  if (open) out += '\'';
  return out;
}

class TTextWriter {
public:
  explicit TTextWriter(const TComponent& Root) : FRoot(Root) {}

  std::string Write() {
    WriteComponent(const_cast<TComponent&>(FRoot), 0);
    return std::move(FOut);
  }

private:
  void Line(int Indent, const std::string& Text) {
    FOut.append(static_cast<std::size_t>(Indent) * 2, ' ');
    FOut += Text;
    FOut += '\n';
  }

  void WriteComponent(TComponent& C, int Indent) {
    C.SetComponentStateItem(csWriting, true);
    std::string head = "object ";
    head += C.GetName().empty() ? C.ClassName() : C.GetName() + ": " + C.ClassName();
    Line(Indent, head);
    WriteProperties(C, "", Indent + 1);
    C.GetChildren([&](TComponent* child) { WriteComponent(*child, Indent + 1); }, &FRoot);
    Line(Indent, "end");
    C.SetComponentStateItem(csWriting, false);
  }

  void WriteProperties(TPersistent& Object, const std::string& Prefix, int Indent) {
    const TClassInfo* info = Object.ClassType();
    const bool isComponent = dynamic_cast<TComponent*>(&Object) != nullptr;
    for (std::size_t i = 0, n = info->PropertyCount(); i < n; ++i) {
      const TPropInfo& p = *info->Property(i);
      if (isComponent && Prefix.empty() && std::strcmp(p.Name, "Name") == 0) continue;  // in the head line
      if (!p.Writable()) continue;
      if (p.IsStored && !p.IsStored(Object)) continue;
      const std::string name = Prefix + p.Name;
      if (p.IsOrdinal()) {
        if (p.HasDefault && p.GetOrd(Object) == p.Default) continue;
        Line(Indent, name + " = " + GetPropText(Object, p));
      } else if (p.Kind == TTypeKind::String) {
        // An empty string is what every string property starts as: not stored.
        const std::string value = p.GetStr(Object);
        if (!value.empty()) Line(Indent, name + " = " + QuoteString(value));
      } else if (p.Kind == TTypeKind::Component) {
        if (auto* ref = dynamic_cast<TComponent*>(p.GetObj(Object)))
          if (!ref->GetName().empty()) Line(Indent, name + " = " + ReferenceName(*ref));
      } else if (auto* sub = dynamic_cast<TPersistent*>(p.GetObj(Object))) {
        WriteProperties(*sub, name + ".", Indent);
      }
    }
    for (TDefinedProperty& d : DefinedProperties(Object))
      if (d.HasData) WriteBinary(Prefix + d.Name, d.Write(), Indent);
  }

  // A component of the root's (or the root) by its name; anything else as
  // Owner.Name, which the reader resolves among the root owner's components.
  std::string ReferenceName(const TComponent& Ref) const {
    if (&Ref == &FRoot || Ref.GetOwner() == &FRoot || !Ref.GetOwner() || Ref.GetOwner()->GetName().empty())
      return Ref.GetName();
    return Ref.GetOwner()->GetName() + "." + Ref.GetName();
  }

  void WriteBinary(const std::string& Name, const std::vector<std::uint8_t>& Data, int Indent) {
    static const char hex[] = "0123456789ABCDEF";
    Line(Indent, Name + " = {");
    constexpr std::size_t PerLine = 32;
    for (std::size_t i = 0; i < Data.size(); i += PerLine) {
      std::string row;
      for (std::size_t j = i; j < Data.size() && j < i + PerLine; ++j) {
        row += hex[Data[j] >> 4];
        row += hex[Data[j] & 15];
      }
      Line(Indent + 1, row);
    }
    Line(Indent + 1, "}");
  }

  const TComponent& FRoot;
  std::string FOut;
};

// ---- Tokenizer --------------------------------------------------------------

enum class TTok { End, Ident, Integer, String, Binary, Symbol };

struct TToken {
  TTok Kind = TTok::End;
  std::string Text;                 // identifier, string value, or the symbol
  std::int64_t Int = 0;
  std::vector<std::uint8_t> Bytes;
  int Line = 1;
};

class TTokenizer {
public:
  explicit TTokenizer(std::string_view Text) : FText(Text) { Advance(); }

  const TToken& Peek() const { return FTok; }
  TToken Take() {
    TToken t = std::move(FTok);
    Advance();
    return t;
  }

  [[noreturn]] void Fail(int Line, const std::string& What) const {
    throw EReadError("Line " + std::to_string(Line) + ": " + What);
  }

private:
  static bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }
  bool AtEnd() const { return FPos >= FText.size(); }
  char Cur() const { return FText[FPos]; }

  void SkipBlanks() {
    while (!AtEnd()) {
      char c = Cur();
      if (c == '\n') ++FLine;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') ++FPos;
      else break;
    }
  }

  void Advance() {
    const int lastLine = FLine;
    SkipBlanks();
    FTok = TToken{};
    FTok.Line = FLine;
    if (AtEnd()) {
      FTok.Line = lastLine;  // report the end on the last line that has text
      return;
    }
    char c = Cur();
    if (IsAlpha(c)) {
      std::size_t start = FPos;
      while (!AtEnd() && (IsAlpha(Cur()) || IsDigit(Cur()))) ++FPos;
      FTok.Kind = TTok::Ident;
      FTok.Text = std::string(FText.substr(start, FPos - start));
    } else if (IsDigit(c) || c == '$' || ((c == '-' || c == '+') && FPos + 1 < FText.size() &&
                                          (IsDigit(FText[FPos + 1]) || FText[FPos + 1] == '$'))) {
      ReadInteger();
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else if (c == '{') {
      ReadBinary();
    } else if (std::strchr("=:[],.+", c)) {
      FTok.Kind = TTok::Symbol;
      FTok.Text = std::string(1, c);
      ++FPos;
    } else {
      Fail(FLine, "unexpected character '" + std::string(1, c) + "'");
    }
  }

  void ReadInteger() {
    bool negative = false;
    if (Cur() == '-' || Cur() == '+') negative = FText[FPos++] == '-';
    int base = 10;
    if (Cur() == '$') {
      base = 16;
      ++FPos;
    }
    std::uint64_t v = 0;
    std::size_t digits = 0;
    while (!AtEnd()) {
      int d = base == 16 ? HexValue(Cur()) : (IsDigit(Cur()) ? Cur() - '0' : -1);
      if (d < 0) break;
      v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
      if (v > 0xFFFFFFFFull) Fail(FLine, "integer out of range");
      ++digits;
      ++FPos;
    }
    if (digits == 0) Fail(FLine, "malformed number");
    if (!AtEnd() && (IsAlpha(Cur()) || Cur() == '.')) Fail(FLine, "malformed number");
    std::int64_t value = base == 16 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(v))
                                    : static_cast<std::int64_t>(v);
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) Fail(FLine, "integer out of range");
    FTok.Kind = TTok::Integer;
    FTok.Int = value;
  }

  // 'quoted' parts and #code characters, in any sequence: 'a'#9'b'.
  void ReadString() {
    FTok.Kind = TTok::String;
    while (!AtEnd() && (Cur() == '\'' || Cur() == '#')) {
      if (Cur() == '#') {
        ++FPos;
        int code = 0, digits = 0;
        while (!AtEnd() && IsDigit(Cur()) && digits < 4) code = code * 10 + (FText[FPos++] - '0'), ++digits;
        if (digits == 0 || code > 255) Fail(FLine, "malformed character code");
        FTok.Text += static_cast<char>(code);
        continue;
      }
      ++FPos;
      for (;;) {
        if (AtEnd() || Cur() == '\n') Fail(FLine, "unterminated string");
        if (Cur() == '\'') {
          if (FPos + 1 < FText.size() && FText[FPos + 1] == '\'') {
            FTok.Text += '\'';
            FPos += 2;
            continue;
          }
          ++FPos;
          break;
        }
        FTok.Text += FText[FPos++];
      }
    }
  }

  void ReadBinary() {
    ++FPos;
    FTok.Kind = TTok::Binary;
    int high = -1;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail(FTok.Line, "unterminated binary value");
      char c = Cur();
      if (c == '}') {
        ++FPos;
        break;
      }
      int d = HexValue(c);
      if (d < 0) Fail(FLine, "invalid character in binary value");
      ++FPos;
      if (high < 0) {
        high = d;
      } else {
        FTok.Bytes.push_back(static_cast<std::uint8_t>(high * 16 + d));
        high = -1;
      }
    }
    if (high >= 0) Fail(FLine, "odd number of hex digits in binary value");
  }

  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;
  TToken FTok;
};

// ---- Reader -----------------------------------------------------------------

struct TFixup {
  TObject* Instance;
  const TPropInfo* Prop;
  std::string Name;
  int Line;
};

std::string Describe(const TToken& T) {
  switch (T.Kind) {
    case TTok::End: return "end of text";
    case TTok::Ident: return "'" + T.Text + "'";
    case TTok::Integer: return "the number " + std::to_string(T.Int);
    case TTok::String: return "a string";
    case TTok::Binary: return "binary data";
    case TTok::Symbol: return "'" + T.Text + "'";
  }
  return "?";
}

class TTextReader {
public:
  TTextReader(const std::string& Text, TComponent* RootOwner) : FTok(Text), FRootOwner(RootOwner) {}

  // Reads the whole text. When Root is given the text describes it;
  // otherwise the root is created (owned by FRootOwner).
  TComponent* Read(TComponent* Root) {
    std::vector<TComponent*> created;
    TComponent* root = Root;
    try {
      root = ReadObject(nullptr, Root, created);
      if (FTok.Peek().Kind != TTok::End) FTok.Fail(FTok.Peek().Line, "text after the final 'end'");
      ResolveFixups(*root);
      for (TComponent* c : FLoading) c->Loaded();
      return root;
    } catch (...) {
      // Leave nothing half-built: free what this read created, newest first.
      // Components owned by a created one go with it.
      for (auto it = created.rbegin(); it != created.rend(); ++it)
        if (std::find(created.begin(), created.end(), (*it)->GetOwner()) == created.end()) delete *it;
      if (Root) {
        Root->SetComponentStateItem(csLoading, false);
        Root->SetComponentStateItem(csReading, false);
      }
      throw;
    }
  }

  TComponent* FRoot = nullptr;

private:
  TToken Expect(TTok Kind, const char* What) {
    if (FTok.Peek().Kind != Kind) FTok.Fail(FTok.Peek().Line, std::string("expected ") + What + ", found " + Describe(FTok.Peek()));
    return FTok.Take();
  }
  void ExpectSymbol(const char* Sym) {
    if (FTok.Peek().Kind != TTok::Symbol || FTok.Peek().Text != Sym)
      FTok.Fail(FTok.Peek().Line, std::string("expected '") + Sym + "', found " + Describe(FTok.Peek()));
    FTok.Take();
  }
  bool PeekIdent(const char* Word) const {
    return FTok.Peek().Kind == TTok::Ident && UpperCase(FTok.Peek().Text) == Word;
  }

  TComponent* ReadObject(TComponent* Enclosing, TComponent* Existing, std::vector<TComponent*>& Created) {
    if (++FDepth > MaxDepth) FTok.Fail(FTok.Peek().Line, "objects nested too deeply");
    int line = FTok.Peek().Line;
    if (!PeekIdent("OBJECT")) FTok.Fail(line, "expected 'object', found " + Describe(FTok.Peek()));
    FTok.Take();
    std::string name = Expect(TTok::Ident, "a component name").Text, className = name;
    if (FTok.Peek().Kind == TTok::Symbol && FTok.Peek().Text == ":") {
      FTok.Take();
      className = Expect(TTok::Ident, "a class name").Text;
    } else {
      name.clear();
    }

    TComponent* c = Existing;
    if (c) {
      if (!SameText(c->ClassName(), className))
        FTok.Fail(line, "the form holds a " + className + ", not a " + c->ClassName());
    } else {
      const TClassInfo* cls = GetClass(className);
      if (!cls || !cls->Construct) FTok.Fail(line, "unknown class " + className);
      TComponent* owner = FRoot ? FRoot : FRootOwner;
      c = cls->Construct(owner);
      Created.push_back(c);
    }
    if (!FRoot) FRoot = c;
    c->SetComponentStateItem(csLoading, true);
    c->SetComponentStateItem(csReading, true);
    FLoading.push_back(c);
    if (Enclosing) c->SetParentComponent(Enclosing);
    try {
      c->SetName(name);
    } catch (const Exception& e) {
      FTok.Fail(line, e.Message());
    }

    while (!PeekIdent("END") && !PeekIdent("OBJECT")) ReadProperty(*c);
    c->SetComponentStateItem(csReading, false);
    while (PeekIdent("OBJECT")) ReadObject(c, nullptr, Created);
    if (!PeekIdent("END")) FTok.Fail(FTok.Peek().Line, "expected 'end', found " + Describe(FTok.Peek()));
    FTok.Take();
    --FDepth;
    return c;
  }

  void ReadProperty(TComponent& C) {
    TToken first = Expect(TTok::Ident, "a property name");
    const int line = first.Line;
    std::string path = first.Text;
    std::vector<std::string> parts{first.Text};
    while (FTok.Peek().Kind == TTok::Symbol && FTok.Peek().Text == ".") {
      FTok.Take();
      parts.push_back(Expect(TTok::Ident, "a property name").Text);
      path += "." + parts.back();
    }
    ExpectSymbol("=");
    TToken value = ReadValue();

    // Walk the sub-objects down to the one that holds the last name.
    TPersistent* target = &C;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      const TPropInfo* p = target->ClassType()->FindProperty(parts[i]);
      auto* sub = p && p->Kind == TTypeKind::Class ? dynamic_cast<TPersistent*>(p->GetObj(*target)) : nullptr;
      if (!sub) FTok.Fail(line, "unknown property " + path + " of " + C.ClassName());
      target = sub;
    }
    const std::string& last = parts.back();
    if (const TPropInfo* p = target->ClassType()->FindProperty(last)) {
      Assign(C, *target, *p, path, value, line);
      return;
    }
    for (TDefinedProperty& d : DefinedProperties(*target)) {
      if (!SameText(d.Name, last)) continue;
      if (value.Kind != TTok::Binary) FTok.Fail(line, "property " + path + " expects binary data, found " + Describe(value));
      Guard(line, path, [&] { d.Read(value.Bytes); });
      return;
    }
    FTok.Fail(line, "unknown property " + path + " of " + C.ClassName());
  }

  // A value, with string parts joined by '+' ('abc' + 'def', possibly across lines).
  TToken ReadValue() {
    const TToken& t = FTok.Peek();
    if (t.Kind == TTok::Symbol && t.Text == "[") return ReadSet();
    if (t.Kind == TTok::Ident) {
      TToken id = FTok.Take();
      while (FTok.Peek().Kind == TTok::Symbol && FTok.Peek().Text == ".") {  // Owner.Name
        FTok.Take();
        id.Text += "." + Expect(TTok::Ident, "a name").Text;
      }
      return id;
    }
    if (t.Kind == TTok::String) {
      TToken s = FTok.Take();
      while (FTok.Peek().Kind == TTok::Symbol && FTok.Peek().Text == "+") {
        FTok.Take();
        s.Text += Expect(TTok::String, "a string").Text;
      }
      return s;
    }
    if (t.Kind == TTok::Integer || t.Kind == TTok::Binary) return FTok.Take();
    FTok.Fail(t.Line, "expected a value, found " + Describe(t));
  }

  TToken ReadSet() {
    TToken set;
    set.Kind = TTok::Symbol;
    set.Line = FTok.Take().Line;
    set.Text = "[";
    bool first = true;
    while (!(FTok.Peek().Kind == TTok::Symbol && FTok.Peek().Text == "]")) {
      if (!first) ExpectSymbol(",");
      set.Text += (first ? "" : ",") + Expect(TTok::Ident, "a set element").Text;
      first = false;
    }
    FTok.Take();
    set.Text += "]";
    return set;
  }

  template <class F>
  void Guard(int Line, const std::string& Path, F&& Action) {
    try {
      Action();
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      FTok.Fail(Line, "invalid value for property " + Path + ": " + e.Message());
    }
  }

  void Assign(TComponent& Owner, TPersistent& Target, const TPropInfo& P, const std::string& Path,
              const TToken& V, int Line) {
    auto mismatch = [&](const char* expected) {
      FTok.Fail(Line, "invalid value for property " + Path + ": expected " + expected + ", found " + Describe(V));
    };
    if (!P.Writable()) FTok.Fail(Line, "property " + Path + " is read-only");
    switch (P.Kind) {
      case TTypeKind::Integer:
        if (V.Kind != TTok::Integer) mismatch("an integer");
        Guard(Line, Path, [&] { P.SetOrd(Target, V.Int); });
        return;
      case TTypeKind::Color:
        if (V.Kind == TTok::Integer) {
          Guard(Line, Path, [&] { P.SetOrd(Target, V.Int); });
          return;
        }
        if (V.Kind != TTok::Ident) mismatch("a colour");
        [[fallthrough]];
      case TTypeKind::Boolean:
      case TTypeKind::Enumeration:
        if (V.Kind != TTok::Ident) mismatch(P.Kind == TTypeKind::Boolean ? "True or False" : "an identifier");
        Guard(Line, Path, [&] { SetPropText(Target, P, V.Text); });
        return;
      case TTypeKind::Set:
        if (V.Kind != TTok::Symbol) mismatch("a set");
        Guard(Line, Path, [&] { SetPropText(Target, P, V.Text); });
        return;
      case TTypeKind::String:
        if (V.Kind != TTok::String) mismatch("a string");
        Guard(Line, Path, [&] { P.SetStr(Target, V.Text); });
        return;
      case TTypeKind::Component:
        if (V.Kind != TTok::Ident) mismatch("a component name");
        Owner.SetComponentStateItem(csFixups, true);
        FFixups.push_back({&Target, &P, V.Text, Line});
        return;
      case TTypeKind::Class:
        FTok.Fail(Line, "property " + Path + " holds an object; set its own properties instead");
    }
  }

  TComponent* Lookup(const TComponent& Root, const std::string& Name) const {
    std::size_t dot = Name.find('.');
    if (dot == std::string::npos) {
      if (SameText(Root.GetName(), Name)) return const_cast<TComponent*>(&Root);
      return Root.FindComponent(Name);
    }
    const TComponent* scope = Root.GetOwner() ? Root.GetOwner() : FRootOwner;
    if (!scope) return nullptr;
    TComponent* holder = scope->FindComponent(Name.substr(0, dot));
    return holder ? holder->FindComponent(Name.substr(dot + 1)) : nullptr;
  }

  void ResolveFixups(TComponent& Root) {
    for (const TFixup& f : FFixups) {
      TComponent* ref = Lookup(Root, f.Name);
      if (!ref) FTok.Fail(f.Line, "no component named " + f.Name);
      if (!ref->InheritsFrom(f.Prop->Type))
        FTok.Fail(f.Line, "invalid value for property " + std::string(f.Prop->Name) + ": " + f.Name +
                              " is a " + ref->ClassName() + ", not a " + f.Prop->Type->Name);
      Guard(f.Line, f.Prop->Name, [&] { f.Prop->SetObj(*f.Instance, ref); });
    }
    for (TComponent* c : FLoading) c->SetComponentStateItem(csFixups, false);
  }

  static constexpr int MaxDepth = 64;
  TTokenizer FTok;
  TComponent* FRootOwner;
  std::vector<TComponent*> FLoading;
  std::vector<TFixup> FFixups;
  int FDepth = 0;
};

}  // namespace

std::string WriteComponentText(const TComponent& Root) { return TTextWriter(Root).Write(); }

TComponent* ReadComponentText(const std::string& Text, TComponent* Owner) {
  return TTextReader(Text, Owner).Read(nullptr);
}

void ReadComponentTextInto(const std::string& Text, TComponent& Root) {
  TTextReader reader(Text, Root.GetOwner());
  reader.FRoot = &Root;
  reader.Read(&Root);
}

}  // namespace vcl

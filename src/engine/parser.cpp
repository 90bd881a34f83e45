#include "engine/parser.h"

#include "common/unicode.h"
#include "engine/checker.h"
#include "engine/host_registry.h"
#include "engine/natives.h"
#include "engine/preprocessor.h"
#include "engine/scope.h"

#include <cmath>
#include <functional>
#include <optional>
#include <string>

namespace velmoro::script {

using vm::Value;

namespace {

std::u16string num(long long v) { return text::fromAscii(std::to_string(v)); }

class Parser {
 public:
  Parser(std::u16string_view source, const Options& options, Diagnostics& diag,
         const Engine::IncludeHandler& include, const Engine::DirectiveHandler& directive,
         Engine::Program& prog, const Engine::Host* host)
      : pp_(std::make_unique<Preprocessor>(std::u16string(source), options, diag, include, directive)),
        opt_(options), diag_(diag), prog_(prog), types_(prog.types),
        check_(prog.types, diag), host_(host) {
    advance();
  }

  void program();

 private:
  // ---- tokens ----
  void advance() {
    if (hasPeek_) {
      tok_ = std::move(peek_);
      hasPeek_ = false;
    } else {
      tok_ = pp_->next();
    }
  }
  const Token& peekToken() {
    if (!hasPeek_) {
      peek_ = pp_->next();
      hasPeek_ = true;
    }
    return peek_;
  }
  bool is(Tok k) const { return tok_.kind == k; }
  bool accept(Tok k) {
    if (!is(k)) return false;
    advance();
    return true;
  }
  bool isWord(const char16_t* w) const { return is(Tok::Ident) && tok_.key == w; }
  void expect(Tok k) {
    if (accept(k)) return;
    errorExpected(tokenText(k));
  }
  void errorExpected(std::u16string_view what) {
    diag_.error(tok_.pos, u"'" + std::u16string(what) + u"' expected but '" + shown(tok_) +
                              u"' found");
  }
  static std::u16string shown(const Token& t) {
    if (t.kind == Tok::Ident) return t.text;
    if (t.kind == Tok::IntLit) return num(static_cast<long long>(t.intValue));
    if (t.kind == Tok::StrLit) return t.text;
    return tokenText(t.kind);
  }
  std::u16string identifier() {
    if (is(Tok::Ident)) {
      std::u16string s = tok_.text;
      advance();
      return s;
    }
    errorExpected(u"identifier");
    return {};
  }
  // Skips to a token that can follow a statement, after an error.
  void syncStatement() {
    int guard = 0;
    while (!is(Tok::Eof) && !is(Tok::Semicolon) && !is(Tok::KwEnd) && !is(Tok::KwElse) &&
           !is(Tok::KwUntil) && !is(Tok::KwExcept) && !is(Tok::KwFinally) && ++guard < 100000)
      advance();
  }
  void syncDeclaration() {
    while (!is(Tok::Eof) && !is(Tok::Semicolon)) advance();
    accept(Tok::Semicolon);
  }
  bool nest(Pos p) {
    ++depth_;
    return diag_.checkLimit(p, depth_, limits::nesting, "nesting depth");
  }
  struct Nest {
    Parser& p;
    bool ok;
    Nest(Parser& parser, Pos pos) : p(parser), ok(parser.nest(pos)) {}
    ~Nest() { --p.depth_; }
  };
  // Operators chained in one expression add to the height of its tree (the code
  // generator and the tree's destructor recurse that deep).
  struct Chain {
    Parser& p;
    int links = 0;
    explicit Chain(Parser& parser) : p(parser) {}
    ~Chain() { p.height_ -= links; }
  };
  bool chain(Pos p, Chain& c) {
    ++c.links;
    ++height_;
    if (diag_.checkLimit(p, height_ + depth_, limits::treeHeight, "expression size")) return true;
    syncStatement();
    return false;
  }
  // Cells (scalar values) of a type, saturating above the limit.
  static long long cells(const Type* t) {
    if (t->kind == TypeKind::StaticArray) {
      long long inner = cells(t->element);
      long long n = t->count();
      if (n <= 0) return 1;
      if (inner > limits::staticElements / n + 1) return limits::staticElements + 1;
      return n * inner;
    }
    if (t->kind == TypeKind::Record) {
      long long sum = 0;
      for (const Field& f : t->fields) sum = std::min(sum + cells(f.type), limits::staticElements + 1);
      return std::max(sum, 1LL);
    }
    return 1;
  }

  // ---- declarations ----
  void block(Routine* r);
  void declarations();
  void constSection();
  void typeSection();
  void varSection();
  void routineDeclaration(bool isFunction);
  // name [paramList] [":" type], after "procedure" or "function"
  void routineHeader(bool isFunction, std::u16string& name, std::vector<Param>& params, const Type*& result);
  // A routine declared in the current one, added to the program's routines.
  Routine* newRoutine(const std::u16string& name, Pos p, const std::vector<Param>& params, const Type* result);
  void externalDeclaration(Pos p, const std::u16string& name, const std::vector<Param>& params,
                           const Type* result);
  std::optional<ext::ArgKind> argKind(const Type* t) const;
  void paramList(std::vector<Param>& params);
  const Type* typeSpec(std::u16string name = {});
  const Type* typeIdentifier();
  Value constExpression(const Type*& type);
  Value typedConstant(const Type* t);
  int newSlot(const Type* t);

  // ---- statements ----
  StmtPtr statement();
  StmtPtr compound(Pos beginPos, const char16_t* opener);
  void statementList(std::vector<StmtPtr>& out, Tok end1, Tok end2 = Tok::Eof,
                     Tok end3 = Tok::Eof);
  StmtPtr ifStatement();
  StmtPtr whileStatement();
  StmtPtr repeatStatement();
  StmtPtr forStatement();
  StmtPtr caseStatement();
  StmtPtr withStatement();
  StmtPtr tryStatement();
  StmtPtr raiseStatement();
  StmtPtr simpleStatement();
  StmtPtr writeStatement(bool line, Pos p);
  StmtPtr readStatement(bool line, Pos p);
  StmtPtr incDec(bool inc, Pos p);
  StmtPtr includeExclude(bool include, Pos p);
  StmtPtr setLength(Pos p);
  StmtPtr exitStatement(Pos p);
  StmtPtr assignment(ExprPtr target, ExprPtr value, Pos p);

  // ---- expressions ----
  ExprPtr expression();
  ExprPtr simpleExpression();
  ExprPtr term();
  ExprPtr factor();
  ExprPtr designator();
  ExprPtr identifierExpr();
  ExprPtr setConstructor();
  ExprPtr selectors(ExprPtr e);
  ExprPtr callRoutine(Routine* r, Pos p);
  int fitCost(const Routine& r, const std::vector<ExprPtr>& args) const;
  ExprPtr callNative(int index, std::u16string_view name, Pos p);
  ExprPtr magicFunction(std::u16string_view key, Pos p, bool& handled);
  std::vector<ExprPtr> arguments();
  // hostTargets: host variables and properties may be assigned (not passed by address).
  ExprPtr lvalue(ExprPtr e, const char16_t* what, bool hostTargets = false);
  ExprPtr errorExpr(Pos p) { return check_.constant(p, types_.integer, Value::integer(0)); }

  // ---- host declarations ----
  void hostDeclarations();
  void withHostText(const std::u16string& text, const std::function<void()>& parse);
  void hostFunction(const Engine::Host::Decl& d);
  void hostVariable(const Engine::Host::Decl& d);
  void hostClass(const Engine::Host::Decl& d);
  void hostMember(const HostClass& cls, const HostClass::Member& m);
  int addHostRoutine(std::u16string name, const HostFunction* fn, std::vector<Param> params,
                     const Type* result, bool self);
  void bindArguments(Expr& call, std::vector<ExprPtr> args, const std::vector<Param>& params,
                     const std::u16string& name, Pos p);
  const HostMember* findMember(const vm::ClassInfo* c, const std::u16string& key, bool wantDefault);
  ExprPtr memberAccess(ExprPtr obj, const HostMember& m, Pos p, bool bracketTaken);
  ExprPtr hostConstructor(const Type* cls, const std::u16string& key, Pos p, bool& handled);
  const Type* proceduralType(std::u16string name);
  void pushObjectWith(const Type* cls, int slot);
  ExprPtr procedureValue(const Type* t);

  std::unique_ptr<Preprocessor> pp_;
  const Options& opt_;
  Diagnostics& diag_;
  Engine::Program& prog_;
  TypeTable& types_;
  Checker check_;
  Scopes scopes_;
  Token tok_, peek_;
  bool hasPeek_ = false;
  int depth_ = 0;
  int height_ = 0;
  Routine* cur_ = nullptr;
  int loops_ = 0;
  int handlers_ = 0;
  const Engine::Host* host_ = nullptr;
  Engine::IncludeHandler noInclude_;
  Engine::DirectiveHandler noDirective_;
  std::vector<std::unique_ptr<Routine>> hostRoutines_;
  std::unordered_map<const HostClass*, const vm::ClassInfo*> hostInfos_;
  struct ClassMembers {  // of one host class: folded name → index in Program::hostMembers
    std::unordered_map<std::u16string, int> byName;
    int defaultProperty = -1;
  };
  std::unordered_map<const HostClass*, ClassMembers> members_;
};

// ---------------------------------------------------------------------------------
// Declarations

int Parser::newSlot(const Type* t) {
  cur_->slots.push_back(t);
  return static_cast<int>(cur_->slots.size()) - 1;
}

// program = [ "program" ident ";" ] [ "uses" ident {"," ident} ";" ] block
void Parser::program() {
  scopes_.push(nullptr);
  declareSystem(scopes_, types_);
  auto main = std::make_unique<Routine>();
  main->name = u"(main)";
  main->level = 0;
  main->defined = true;
  cur_ = main.get();
  prog_.decls.push_back(std::move(main));
  scopes_.push(nullptr);  // the host's names hide the system's
  hostDeclarations();
  scopes_.push(nullptr);  // the program's own globals may hide both
  if (accept(Tok::KwProgram)) {
    identifier();
    if (accept(Tok::LParen)) {
      while (!is(Tok::RParen) && !is(Tok::Eof)) advance();
      expect(Tok::RParen);
    }
    expect(Tok::Semicolon);
  }
  if (accept(Tok::KwUses)) {
    do {
      identifier();
      if (accept(Tok::KwIn)) {
        if (!accept(Tok::StrLit)) errorExpected(u"string constant");
      }
    } while (accept(Tok::Comma));
    expect(Tok::Semicolon);
  }
  block(cur_);
  for (auto& d : prog_.decls)
    if (d->forward && !d->defined)
      diag_.error(d->pos, u"Unsatisfied forward or external declaration: '" + d->name + u"'");
}

// block = declarations ( "begin" statements "end" | statements ) ["."]
// The main block: its begin/end and its final "end." may be missing when the host allows.
void Parser::block(Routine* r) {
  declarations();
  Pos p = tok_.pos;
  if (is(Tok::KwBegin)) {
    advance();
    statementList(r->body, Tok::KwEnd);
    if (is(Tok::Eof)) {
      if (!opt_.allowNoEnd)
        diag_.error(tok_.pos, u"'end' expected (to close 'begin' at line " + num(p.row) + u")");
      return;
    }
    if (!accept(Tok::KwEnd)) {
      diag_.error(tok_.pos, u"'end' expected (to close 'begin' at line " + num(p.row) + u")");
      return;
    }
    if (is(Tok::Eof) && opt_.allowNoEnd) return;
    expect(Tok::Dot);
  } else if (is(Tok::Eof)) {
    if (!opt_.allowNoMainBlock) errorExpected(u"begin");
    return;
  } else if (opt_.allowNoMainBlock) {
    statementList(r->body, Tok::KwEnd);
    if (accept(Tok::KwEnd)) expect(Tok::Dot);
  } else {
    errorExpected(u"begin");
    return;
  }
  if (!is(Tok::Eof) && !diag_.full())
    diag_.warning(tok_.pos, u"Text after final 'end.' ignored");
}

// declarations = { constSection | typeSection | varSection | routine }
void Parser::declarations() {
  int guard = 0;
  for (;;) {
    if (diag_.full() || ++guard > 1000000) return;
    switch (tok_.kind) {
      case Tok::KwConst: constSection(); break;
      case Tok::KwType: typeSection(); break;
      case Tok::KwVar: varSection(); break;
      case Tok::KwProcedure: routineDeclaration(false); break;
      case Tok::KwFunction: routineDeclaration(true); break;
      case Tok::KwLabel: syncDeclaration(); break;
      default: return;
    }
  }
}

// constSection = "const" { ident [":" type] "=" constExpression ";" }
void Parser::constSection() {
  advance();
  while (is(Tok::Ident) && !diag_.full()) {
    Pos p = tok_.pos;
    std::u16string name = identifier();
    const Type* declared = nullptr;
    if (accept(Tok::Colon)) declared = typeSpec();
    expect(Tok::Eq);
    const Type* t = declared;
    Value v;
    if (declared && declared->kind == TypeKind::DynArray) {
      diag_.error(p, u"Typed constants of this type are not supported");
      syncDeclaration();
      continue;
    }
    if (declared) {
      // a typed constant is an initialised variable; a local one keeps its value
      // between calls, so it lives among the globals too
      v = typedConstant(declared);
      Symbol s;
      s.kind = SymKind::Var;
      s.type = declared;
      s.pos = p;
      s.slot = static_cast<int>(prog_.globals.size());
      s.level = -1;
      prog_.globals.push_back(declared);
      prog_.globalInit.emplace_back(s.slot, v);
      scopes_.declare(diag_, name, s);
      expect(Tok::Semicolon);
      continue;
    }
    ExprPtr e = expression();
    if (e->kind == EK::SetCons && e->type->element) {
      const Type* own = e->type;
      e = check_.convert(std::move(e), own);
    }
    if (e->kind != EK::Const) {
      diag_.error(p, u"Constant expression expected");
    }
    v = e->value;
    if (!t) t = e->type;
    Symbol s;
    s.kind = SymKind::Const;
    s.type = t;
    s.value = v;
    s.pos = p;
    scopes_.declare(diag_, name, s);
    expect(Tok::Semicolon);
  }
}

// typedConstant = "(" typedConstant {"," typedConstant} ")"          (static arrays)
//               | "(" [ident ":" typedConstant {";" ident ":" typedConstant}] ")"  (records)
//               | constExpression
Value Parser::typedConstant(const Type* t) {
  Pos p = tok_.pos;
  Nest nest(*this, p);
  if (!nest.ok) {
    syncDeclaration();
    return defaultValue(t);
  }
  if (t->kind == TypeKind::StaticArray) {
    Value v = defaultValue(t);
    std::vector<Value>& items = vm::agg(v)->v;
    expect(Tok::LParen);
    size_t k = 0;
    do {
      Value e = typedConstant(t->element);
      if (k < items.size()) items[k] = std::move(e);
      ++k;
    } while (accept(Tok::Comma) && !diag_.full());
    if (k != items.size())
      diag_.error(p, u"Wrong number of elements: " + num(static_cast<long long>(items.size())) + u" expected");
    expect(Tok::RParen);
    return v;
  }
  if (t->kind == TypeKind::Record) {
    Value v = defaultValue(t);
    std::vector<Value>& items = vm::agg(v)->v;
    expect(Tok::LParen);
    size_t next = 0;
    while (is(Tok::Ident) && !diag_.full()) {
      Pos fp = tok_.pos;
      std::u16string name = identifier();
      size_t k = 0;
      while (k < t->fields.size() && !text::equalsIgnoreCase(t->fields[k].name, name)) ++k;
      expect(Tok::Colon);
      if (k == t->fields.size()) {
        diag_.error(fp, u"Unknown record field identifier '" + name + u"'");
        typedConstant(types_.variant);
      } else {
        if (k < next) diag_.error(fp, u"Record fields must be given in their declared order");
        items[k] = typedConstant(t->fields[k].type);
        next = k + 1;
      }
      if (!accept(Tok::Semicolon)) break;
    }
    expect(Tok::RParen);
    return v;
  }
  ExprPtr e = check_.convert(expression(), t);
  if (e->kind != EK::Const) diag_.error(e->pos, u"Constant expression expected");
  return e->value;
}

// typeSection = "type" { ident "=" type ";" }
void Parser::typeSection() {
  advance();
  while (is(Tok::Ident) && !diag_.full()) {
    Pos p = tok_.pos;
    std::u16string name = identifier();
    expect(Tok::Eq);
    const Type* t = typeSpec(name);
    Symbol s;
    s.kind = SymKind::TypeName;
    s.type = t;
    s.pos = p;
    scopes_.declare(diag_, name, s);
    expect(Tok::Semicolon);
  }
}

// varSection = "var" { ident {"," ident} ":" type ["=" constExpression] ";" }
void Parser::varSection() {
  advance();
  while (is(Tok::Ident) && !diag_.full()) {
    std::vector<std::pair<std::u16string, Pos>> names;
    do {
      Pos p = tok_.pos;
      names.emplace_back(identifier(), p);
    } while (accept(Tok::Comma));
    expect(Tok::Colon);
    const Type* t = typeSpec();
    std::optional<Value> init;
    if (accept(Tok::Eq)) {
      ExprPtr e = check_.convert(expression(), t);
      if (e->kind != EK::Const) diag_.error(e->pos, u"Constant expression expected");
      init = e->value;
      if (names.size() > 1) diag_.error(names[0].second, u"Only one variable can be initialized");
    }
    for (auto& [name, p] : names) {
      Symbol s;
      s.kind = SymKind::Var;
      s.type = t;
      s.pos = p;
      if (cur_->level == 0) {
        s.level = -1;
        s.slot = static_cast<int>(prog_.globals.size());
        prog_.globals.push_back(t);
        if (init) prog_.globalInit.emplace_back(s.slot, *init);
      } else {
        s.level = cur_->level;
        s.slot = newSlot(t);
        s.local = true;
        if (init) diag_.error(p, u"Local variables cannot be initialized");
      }
      scopes_.declare(diag_, name, s);
    }
    expect(Tok::Semicolon);
  }
}

// paramList = "(" [ paramGroup { ";" paramGroup } ] ")"
// paramGroup = ["var" | "const" | "out"] ident {"," ident} [":" type] ["=" constExpression]
void Parser::paramList(std::vector<Param>& params) {
  if (!accept(Tok::LParen)) return;
  if (accept(Tok::RParen)) return;
  do {
    ParamMode mode = ParamMode::Value;
    if (accept(Tok::KwVar)) mode = ParamMode::Var;
    else if (accept(Tok::KwConst)) mode = ParamMode::Const;
    else if (isWord(u"out") && peekToken().kind == Tok::Ident) {
      advance();
      mode = ParamMode::Out;
    }
    std::vector<std::u16string> names;
    Pos namePos = tok_.pos;
    do names.push_back(identifier());
    while (accept(Tok::Comma));
    const Type* t = types_.variant;
    if (accept(Tok::Colon)) {
      if (is(Tok::KwArray) && peekToken().kind == Tok::KwOf) {
        advance();
        advance();
        if (accept(Tok::KwConst)) {
          t = types_.arrayOfConst;
        } else {
          Type* a = types_.make(TypeKind::DynArray);
          a->element = typeIdentifier();
          t = a;
        }
      } else {
        t = typeIdentifier();
      }
    } else if (mode == ParamMode::Value) {
      errorExpected(u":");
    }
    Param prm;
    prm.type = t;
    prm.mode = mode;
    if (is(Tok::Eq)) {
      Pos dp = tok_.pos;
      advance();
      ExprPtr e = check_.convert(expression(), t);
      if (e->kind != EK::Const) diag_.error(e->pos, u"Constant expression expected");
      else if (prm.byRef()) diag_.error(dp, u"Default values are only allowed for value and const parameters");
      else if (names.size() > 1) diag_.error(dp, u"Default value can only be assigned to one parameter");
      prm.hasDefault = true;
      prm.defaultValue = e->value;
    } else if (!params.empty() && params.back().hasDefault && !names.empty()) {
      diag_.error(namePos, u"Default parameter required for '" + names[0] + u"'");
    }
    for (auto& n : names) {
      prm.name = n;
      params.push_back(prm);
    }
    if (diag_.full()) break;
  } while (accept(Tok::Semicolon));
  expect(Tok::RParen);
}

Routine* Parser::newRoutine(const std::u16string& name, Pos p, const std::vector<Param>& params,
                            const Type* result) {
  auto owned = std::make_unique<Routine>();
  Routine* r = owned.get();
  r->name = name;
  r->pos = p;
  r->level = cur_->level + 1;
  r->index = static_cast<int>(prog_.decls.size());
  r->params = params;
  r->result = result;
  r->parent = cur_;
  prog_.decls.push_back(std::move(owned));
  return r;
}

void Parser::routineHeader(bool isFunction, std::u16string& name, std::vector<Param>& params,
                           const Type*& result) {
  name = identifier();
  paramList(params);
  if (isFunction) {
    expect(Tok::Colon);
    result = typeIdentifier();
  }
}

// routine = ("procedure" | "function") ident [paramList] [":" type] ";"
//           { directive ";" } ( "forward" ";" | block ";" )
void Parser::routineDeclaration(bool isFunction) {
  Pos p = tok_.pos;
  advance();
  std::u16string name;
  std::vector<Param> params;
  const Type* result = nullptr;
  routineHeader(isFunction, name, params, result);
  expect(Tok::Semicolon);
  bool forward = false, overload = false;
  for (int guard = 0; is(Tok::Ident) && guard < 20; ++guard) {
    const std::u16string& k = tok_.key;
    if (k == u"forward") {
      forward = true;
    } else if (k == u"overload") {
      overload = true;
    } else if (k == u"stdcall" || k == u"cdecl" || k == u"register" || k == u"pascal" ||
               k == u"inline" || k == u"safecall") {
    } else if (k == u"external") {
      externalDeclaration(p, name, params, result);
      return;
    } else {
      break;
    }
    advance();
    expect(Tok::Semicolon);
  }
  if (!diag_.checkLimit(p, (cur_ ? cur_->level : 0) + 1, limits::routineNesting, "routine nesting"))
    return;

  // A forward declaration at the same level is completed here; an overloaded name
  // collects its routines in one chain.
  Routine* r = nullptr;
  Symbol* existing = scopes_.findLocal(foldName(name));
  Routine* chain = existing && existing->kind == SymKind::Routine ? existing->routine : nullptr;
  Routine* sameParams = nullptr;
  for (Routine* o = chain; o; o = o->nextOverload)
    if (!sameParams && check_.sameSignature(o->params, nullptr, params, nullptr)) sameParams = o;
  bool sameResult = sameParams && check_.sameSignature({}, sameParams->result, {}, result);
  if (chain && chain->nextOverload == nullptr && !chain->overload && !overload && chain->forward &&
      !chain->defined) {
    r = chain;
    if (!sameResult) diag_.error(p, u"Declaration of '" + name + u"' differs from previous declaration");
  } else if (chain && sameParams && sameParams->forward && !sameParams->defined) {
    r = sameParams;
    if (!sameResult) diag_.error(p, u"Declaration of '" + name + u"' differs from previous declaration");
  } else if (chain && (overload || chain->overload)) {
    if (!overload || !chain->overload)
      diag_.error(p, u"Overloaded routine '" + name + u"' must be marked with the 'overload' directive");
    else if (sameParams)
      diag_.error(p, u"Overloaded routine '" + name + u"' has the same parameters as one declared before");
    r = newRoutine(name, p, params, result);
    r->overload = true;
    Routine* last = chain;
    while (last->nextOverload) last = last->nextOverload;
    last->nextOverload = r;
  } else {
    r = newRoutine(name, p, params, result);
    r->overload = overload;
    Symbol s;
    s.kind = SymKind::Routine;
    s.routine = r;
    s.pos = p;
    scopes_.declare(diag_, name, s);
  }
  if (forward) {
    r->forward = true;
    return;
  }
  r->defined = true;
  Routine* saved = cur_;
  cur_ = r;
  scopes_.push(r);
  r->slots.clear();
  for (const Param& prm : r->params) {
    Symbol s;
    s.kind = SymKind::Var;
    s.type = prm.type;
    s.level = r->level;
    s.slot = newSlot(prm.byRef() ? types_.nil : prm.type);
    s.ref = prm.byRef();
    s.pos = p;
    s.used = true;
    scopes_.declare(diag_, prm.name, s);
  }
  if (r->result) {
    r->resultSlot = newSlot(r->result);
    Symbol s;
    s.kind = SymKind::Var;
    s.type = r->result;
    s.level = r->level;
    s.slot = r->resultSlot;
    s.pos = p;
    s.used = true;
    scopes_.declare(diag_, u"Result", s);
  }
  int savedLoops = loops_, savedHandlers = handlers_;
  loops_ = handlers_ = 0;
  declarations();
  Pos beginPos = tok_.pos;
  if (accept(Tok::KwBegin)) {
    statementList(r->body, Tok::KwEnd);
    if (!accept(Tok::KwEnd))
      diag_.error(tok_.pos, u"'end' expected (to close 'begin' at line " + num(beginPos.row) + u")");
  } else {
    errorExpected(u"begin");
    syncStatement();
  }
  expect(Tok::Semicolon);
  scopes_.popWithHints(diag_);
  loops_ = savedLoops;
  handlers_ = savedHandlers;
  cur_ = saved;
}

// How a script type crosses to a library; nothing when it cannot.
std::optional<ext::ArgKind> Parser::argKind(const Type* t) const {
  using ext::ArgKind;
  switch (t->kind) {
    case TypeKind::Integer:
      switch (t->intKind) {
        case IntKind::I8: return ArgKind::Int8;
        case IntKind::U8: return ArgKind::UInt8;
        case IntKind::I16: return ArgKind::Int16;
        case IntKind::U16: return ArgKind::UInt16;
        case IntKind::I32: return ArgKind::Int32;
        case IntKind::U32: return ArgKind::UInt32;
        case IntKind::I64: return ArgKind::Int64;
      }
      return std::nullopt;
    case TypeKind::Boolean: return t == types_.longBool ? ArgKind::Bool32 : ArgKind::Bool8;
    case TypeKind::Float: return ArgKind::Double;
    case TypeKind::Nil: return ArgKind::Pointer;
    case TypeKind::String: return ArgKind::WideString;
    case TypeKind::AnsiString: return ArgKind::AnsiString;
    default: return std::nullopt;
  }
}

// external = "external" constExpression ";" { directive ";" }
// The routine gets no body of its own: calls go straight to the library function.
void Parser::externalDeclaration(Pos p, const std::u16string& name, const std::vector<Param>& params,
                                 const Type* result) {
  advance();
  Pos at = tok_.pos;
  const Type* textType = nullptr;
  Value text = constExpression(textType);
  expect(Tok::Semicolon);
  for (int guard = 0; is(Tok::Ident) && guard < 20; ++guard) {
    const std::u16string& k = tok_.key;
    if (k != u"stdcall" && k != u"cdecl" && k != u"register" && k != u"pascal" && k != u"overload")
      break;
    advance();
    expect(Tok::Semicolon);
  }
  ExternalRoutine x;
  x.name = name;
  x.pos = p;
  x.result = result;
  if (!textType || !textType->isString()) {
    diag_.error(at, u"Invalid External");
  } else {
    std::u16string error;
    if (auto spec = ext::parseExternal(text.str(), error)) x.spec = std::move(*spec);
    else diag_.error(at, error);
  }
  for (const Param& prm : params) {
    auto kind = argKind(prm.type);
    if (!kind) {
      diag_.error(p, u"Type '" + typeName(prm.type) + u"' cannot be passed to a library function");
      continue;
    }
    x.signature.params.push_back(ext::ArgType{*kind, prm.byRef()});
    x.params.push_back(prm.type);
  }
  if (result) {
    if (auto kind = argKind(result)) x.signature.result = *kind;
    else diag_.error(p, u"Type '" + typeName(result) + u"' cannot be returned by a library function");
  }

  Routine* r = newRoutine(name, p, params, result);
  r->defined = true;
  r->external = static_cast<int>(prog_.externals.size());
  for (const Param& prm : params) r->slots.push_back(prm.byRef() ? types_.nil : prm.type);
  if (result) {
    r->resultSlot = static_cast<int>(r->slots.size());
    r->slots.push_back(result);
  }
  prog_.externals.push_back(std::move(x));
  Symbol s;
  s.kind = SymKind::Routine;
  s.routine = r;
  s.pos = p;
  scopes_.declare(diag_, name, s);
}

// typeIdentifier = ident | "string"
const Type* Parser::typeIdentifier() {
  if (accept(Tok::KwString)) return types_.string;
  Pos p = tok_.pos;
  std::u16string name = identifier();
  if (name.empty()) return types_.integer;
  Symbol* s = scopes_.find(foldName(name));
  if (!s || s->kind != SymKind::TypeName) {
    diag_.error(p, u"Undeclared identifier: '" + name + u"'");
    return types_.integer;
  }
  s->used = true;
  return s->type;
}

// type = typeIdentifier | "(" ident {"," ident} ")" | const ".." const
//      | ["packed"] "array" ["[" range {"," range} "]"] "of" type | "set" "of" type
//      | ["packed"] "record" { fields ";" } "end" | "class" ["(" ident ")"] [ "end" ]
const Type* Parser::typeSpec(std::u16string name) {
  if (is(Tok::KwProcedure) || is(Tok::KwFunction)) return proceduralType(std::move(name));
  Nest guard(*this, tok_.pos);
  if (!guard.ok) return types_.integer;
  Pos p = tok_.pos;
  accept(Tok::KwPacked);
  if (is(Tok::LParen)) {
    advance();
    Type* e = types_.make(TypeKind::Enum, name);
    do {
      Pos ip = tok_.pos;
      std::u16string n = identifier();
      if (n.empty()) break;
      Symbol s;
      s.kind = SymKind::Const;
      s.type = e;
      s.value = Value::integer(static_cast<int64_t>(e->names.size()));
      s.pos = ip;
      if (accept(Tok::Eq)) {
        const Type* ct = nullptr;
        Value v = constExpression(ct);
        s.value = Value::integer(v.i);
      }
      e->names.push_back(n);
      scopes_.declare(diag_, n, s);
      if (!diag_.checkLimit(ip, static_cast<long long>(e->names.size()), 256, "enumeration size")) break;
    } while (accept(Tok::Comma));
    e->low = 0;
    e->high = static_cast<int64_t>(e->names.size()) - 1;
    expect(Tok::RParen);
    return e;
  }
  if (is(Tok::KwArray)) {
    advance();
    if (accept(Tok::LBracket)) {
      std::vector<const Type*> ranges;
      do {
        const Type* r = typeSpec();
        if (!r->isOrdinal()) {
          diag_.error(p, u"Ordinal type required");
          r = types_.byte;
        }
        ranges.push_back(r);
      } while (accept(Tok::Comma));
      expect(Tok::RBracket);
      expect(Tok::KwOf);
      const Type* elem = typeSpec();
      for (size_t k = ranges.size(); k-- > 0;) {
        Type* a = types_.make(TypeKind::StaticArray, k == 0 ? name : std::u16string());
        a->index = ranges[k];
        a->low = ranges[k]->low;
        a->high = ranges[k]->high;
        a->element = elem;
        if (a->high < a->low || a->count() > limits::staticElements ||
            !diag_.checkLimit(p, cells(a), limits::staticElements, "array size")) {
          a->low = 0;
          a->high = 0;
        }
        elem = a;
      }
      return elem;
    }
    expect(Tok::KwOf);
    Type* a = types_.make(TypeKind::DynArray, name);
    a->element = typeSpec();
    return a;
  }
  if (accept(Tok::KwSet)) {
    expect(Tok::KwOf);
    Type* s = types_.make(TypeKind::Set, name);
    s->element = typeSpec();
    if (!s->element->isOrdinal() || s->element->low < 0 || s->element->high > 255) {
      if (s->element->kind == TypeKind::Integer && s->element->high > 255) {
        diag_.error(p, u"Set elements must be in the range 0..255");
      } else if (!s->element->isOrdinal() || s->element->low < 0) {
        diag_.error(p, u"Ordinal type required");
      }
    }
    return s;
  }
  if (accept(Tok::KwRecord)) {
    Type* r = types_.make(TypeKind::Record, name);
    while (is(Tok::Ident) && !diag_.full()) {
      std::vector<std::u16string> names;
      do names.push_back(identifier());
      while (accept(Tok::Comma));
      expect(Tok::Colon);
      const Type* ft = typeSpec();
      for (auto& n : names) {
        for (auto& f : r->fields)
          if (text::equalsIgnoreCase(f.name, n)) diag_.error(p, u"Duplicate identifier: '" + n + u"'");
        r->fields.push_back(Field{n, ft});
      }
      if (!accept(Tok::Semicolon)) break;
    }
    if (!accept(Tok::KwEnd))
      diag_.error(tok_.pos, u"'end' expected (to close 'record' at line " + num(p.row) + u")");
    if (!diag_.checkLimit(p, cells(r), limits::staticElements, "record size")) r->fields.clear();
    return r;
  }
  if (accept(Tok::KwClass)) {
    const vm::ClassInfo* parent = types_.exceptionInfo();
    if (accept(Tok::LParen)) {
      Pos pp = tok_.pos;
      const Type* pt = typeIdentifier();
      if (pt->kind == TypeKind::Class) parent = pt->cls;
      else diag_.error(pp, u"Class type expected");
      expect(Tok::RParen);
    }
    if (!parent || !parent->inheritsFrom(types_.exceptionInfo()))
      diag_.error(p, u"Only exception classes can be declared in a script");
    if (!is(Tok::Semicolon)) {
      if (!accept(Tok::KwEnd))
        diag_.error(tok_.pos, u"'end' expected (to close 'class' at line " + num(p.row) + u")");
    }
    Type* c = types_.make(TypeKind::Class, name);
    c->cls = types_.addClass(name.empty() ? u"TObject" : name, parent);
    prog_.classes.push_back(c->cls);
    return c;
  }
  if (is(Tok::KwString)) {
    advance();
    if (accept(Tok::LBracket)) {  // string[n]: a short string is a string here
      const Type* ct = nullptr;
      constExpression(ct);
      expect(Tok::RBracket);
    }
    return types_.string;
  }
  if (is(Tok::Ident) && peekToken().kind != Tok::DotDot) {
    Symbol* s = scopes_.find(tok_.key);
    if (s && s->kind == SymKind::TypeName) {
      advance();
      s->used = true;
      return s->type;
    }
  }
  // subrange: const .. const
  const Type* lt = nullptr;
  Value lo = constExpression(lt);
  if (!accept(Tok::DotDot)) {
    diag_.error(p, u"Type expected");
    return types_.integer;
  }
  const Type* ht = nullptr;
  Value hi = constExpression(ht);
  if (!lt->isOrdinal() || !ht->isOrdinal()) {
    diag_.error(p, u"Ordinal type required");
    return types_.integer;
  }
  Type* sub = types_.make(lt->kind, name);
  *sub = *lt;
  sub->name = name;
  sub->low = lo.i;
  sub->high = hi.i;
  if (sub->kind == TypeKind::Integer) {
    sub->intKind = lo.i >= 0 && hi.i <= 255 ? IntKind::U8
                   : lo.i >= -128 && hi.i <= 127 ? IntKind::I8
                   : lo.i >= 0 && hi.i <= 65535 ? IntKind::U16
                   : lo.i >= INT32_MIN && hi.i <= INT32_MAX ? IntKind::I32 : IntKind::I64;
  }
  if (hi.i < lo.i) diag_.error(p, u"High bound is less than low bound");
  return sub;
}

Value Parser::constExpression(const Type*& type) {
  ExprPtr e = expression();
  type = e->type;
  if (e->kind != EK::Const) {
    diag_.error(e->pos, u"Constant expression expected");
    type = types_.integer;
    return Value::integer(0);
  }
  return e->value;
}

// ---------------------------------------------------------------------------------
// Statements

// statementList = statement { ";" statement }
void Parser::statementList(std::vector<StmtPtr>& out, Tok end1, Tok end2, Tok end3) {
  for (int guard = 0; guard < 1000000; ++guard) {
    if (diag_.full()) return;
    if (is(end1) || is(end2) || is(end3) || is(Tok::Eof)) return;
    StmtPtr s = statement();
    if (s) out.push_back(std::move(s));
    if (accept(Tok::Semicolon)) continue;
    // a full stop or the end of the text: the caller names the block left open
    if (is(end1) || is(end2) || is(end3) || is(Tok::Eof) || is(Tok::Dot)) return;
    errorExpected(u";");
    syncStatement();
    if (!accept(Tok::Semicolon) && !(is(end1) || is(end2) || is(end3))) {
      if (is(Tok::KwEnd) || is(Tok::KwUntil) || is(Tok::KwExcept) || is(Tok::KwFinally) ||
          is(Tok::KwElse))
        return;
      advance();
    }
  }
}

// statement = compound | if | while | repeat | for | case | with | try | raise
//           | "break" | "continue" | simpleStatement | (empty)
StmtPtr Parser::statement() {
  Nest guard(*this, tok_.pos);
  if (!guard.ok) {
    syncStatement();
    return nullptr;
  }
  Pos p = tok_.pos;
  switch (tok_.kind) {
    case Tok::KwBegin: advance(); return compound(p, u"begin");
    case Tok::KwIf: return ifStatement();
    case Tok::KwWhile: return whileStatement();
    case Tok::KwRepeat: return repeatStatement();
    case Tok::KwFor: return forStatement();
    case Tok::KwCase: return caseStatement();
    case Tok::KwWith: return withStatement();
    case Tok::KwTry: return tryStatement();
    case Tok::KwRaise: return raiseStatement();
    case Tok::Semicolon: case Tok::KwEnd: case Tok::KwUntil: case Tok::KwElse:
    case Tok::KwExcept: case Tok::KwFinally:
      return std::make_unique<Stmt>(SK::Empty, p);
    case Tok::KwGoto:
      diag_.error(p, u"'goto' is not supported");
      syncStatement();
      return nullptr;
    default: return simpleStatement();
  }
}

// compound = "begin" statementList "end"
StmtPtr Parser::compound(Pos beginPos, const char16_t* opener) {
  auto s = std::make_unique<Stmt>(SK::Compound, beginPos);
  statementList(s->body, Tok::KwEnd);
  if (!accept(Tok::KwEnd))
    diag_.error(tok_.pos, u"'end' expected (to close '" + std::u16string(opener) + u"' at line " +
                              num(beginPos.row) + u")");
  return s;
}

// if = "if" expression "then" statement ["else" statement]
StmtPtr Parser::ifStatement() {
  auto s = std::make_unique<Stmt>(SK::If, tok_.pos);
  advance();
  s->a = check_.condition(expression());
  expect(Tok::KwThen);
  s->then = statement();
  if (accept(Tok::KwElse)) s->otherwise = statement();
  return s;
}

// while = "while" expression "do" statement
StmtPtr Parser::whileStatement() {
  auto s = std::make_unique<Stmt>(SK::While, tok_.pos);
  advance();
  s->a = check_.condition(expression());
  expect(Tok::KwDo);
  ++loops_;
  s->then = statement();
  --loops_;
  return s;
}

// repeat = "repeat" statementList "until" expression
StmtPtr Parser::repeatStatement() {
  auto s = std::make_unique<Stmt>(SK::Repeat, tok_.pos);
  Pos p = tok_.pos;
  advance();
  ++loops_;
  statementList(s->body, Tok::KwUntil);
  --loops_;
  if (!accept(Tok::KwUntil)) {
    diag_.error(tok_.pos, u"'until' expected (to close 'repeat' at line " + num(p.row) + u")");
    s->a = errorExpr(p);
    return s;
  }
  s->a = check_.condition(expression());
  return s;
}

// for = "for" ident ":=" expression ("to" | "downto") expression "do" statement
StmtPtr Parser::forStatement() {
  auto s = std::make_unique<Stmt>(SK::For, tok_.pos);
  advance();
  Pos vp = tok_.pos;
  ExprPtr v = identifierExpr();
  if (v->kind != EK::Var || v->ref || !v->type->isOrdinal()) {
    diag_.error(vp, u"Illegal counter variable");
  }
  expect(Tok::Assign);
  s->b = check_.convert(expression(), v->type);
  if (accept(Tok::KwDownto)) s->downto = true;
  else expect(Tok::KwTo);
  s->c = check_.convert(expression(), v->type);
  s->a = std::move(v);
  s->temp = newSlot(types_.int64);
  s->tempLevel = cur_->level;
  expect(Tok::KwDo);
  ++loops_;
  s->then = statement();
  --loops_;
  return s;
}

// case = "case" expression "of" arm {";" arm} [";"] ["else" statementList] "end"
// arm = label {"," label} ":" statement;  label = constExpression [".." constExpression]
StmtPtr Parser::caseStatement() {
  Pos p = tok_.pos;
  auto s = std::make_unique<Stmt>(SK::Case, p);
  advance();
  s->a = expression();
  const Type* st = s->a->type;
  bool strings = st->isString();
  if (st->kind == TypeKind::Char || st->kind == TypeKind::AnsiChar) strings = false;
  if (!st->isOrdinal() && !strings) {
    diag_.error(s->a->pos, u"Ordinal or string expression expected");
    st = types_.integer;
  }
  s->temp = newSlot(strings ? types_.string : types_.int64);
  s->tempLevel = cur_->level;
  expect(Tok::KwOf);
  while (!is(Tok::KwElse) && !is(Tok::KwEnd) && !is(Tok::Eof) && !diag_.full()) {
    CaseArm arm;
    do {
      Pos lp = tok_.pos;
      ExprPtr lo = check_.convert(expression(), st);
      ExprPtr hi;
      if (accept(Tok::DotDot)) hi = check_.convert(expression(), st);
      if (lo->kind != EK::Const || (hi && hi->kind != EK::Const)) {
        diag_.error(lp, u"Constant expression expected");
        continue;
      }
      arm.labels.emplace_back(lo->value, hi ? hi->value : lo->value);
    } while (accept(Tok::Comma));
    expect(Tok::Colon);
    arm.body = statement();
    s->arms.push_back(std::move(arm));
    if (!accept(Tok::Semicolon)) break;
  }
  if (accept(Tok::KwElse)) {
    auto e = std::make_unique<Stmt>(SK::Compound, tok_.pos);
    statementList(e->body, Tok::KwEnd);
    s->otherwise = std::move(e);
  }
  if (!accept(Tok::KwEnd))
    diag_.error(tok_.pos, u"'end' expected (to close 'case' at line " + num(p.row) + u")");
  return s;
}

// with = "with" designator {"," designator} "do" statement
StmtPtr Parser::withStatement() {
  Pos p = tok_.pos;
  advance();
  auto outer = std::make_unique<Stmt>(SK::Compound, p);
  Stmt* into = outer.get();
  int scopesPushed = 0;
  do {
    Pos tp = tok_.pos;
    ExprPtr object = expression();
    if (object->type->kind == TypeKind::Class) {
      // the object is evaluated once, into a local; its members are names in the body
      const Type* cls = object->type;
      auto slot = std::make_unique<Expr>(EK::Var, tp);
      slot->type = cls;
      slot->slot = newSlot(cls);
      slot->level = cur_->level;
      int temp = slot->slot;
      into->body.push_back(assignment(std::move(slot), std::move(object), tp));
      pushObjectWith(cls, temp);
      ++scopesPushed;
      continue;
    }
    ExprPtr target = lvalue(std::move(object), u"with");
    if (target->type->kind != TypeKind::Record) {
      diag_.error(target->pos, u"Record type expected");
      continue;
    }
    auto w = std::make_unique<Stmt>(SK::With, p);
    w->temp = newSlot(types_.nil);
    w->tempLevel = cur_->level;
    const Type* rt = target->type;
    w->a = std::move(target);
    scopes_.pushWith(rt, w->temp, cur_->level);
    ++scopesPushed;
    Stmt* raw = w.get();
    into->body.push_back(std::move(w));
    into = raw;
  } while (accept(Tok::Comma));
  expect(Tok::KwDo);
  StmtPtr body = statement();
  into->then = std::move(body);
  for (int k = 0; k < scopesPushed; ++k) scopes_.pop();
  return outer;
}

// try = "try" statementList ( "except" handlers "end" | "finally" statementList "end" )
// handlers = { "on" [ident ":"] type "do" statement ";" } ["else" statementList]
//          | statementList
StmtPtr Parser::tryStatement() {
  Pos p = tok_.pos;
  advance();
  std::vector<StmtPtr> body;
  statementList(body, Tok::KwExcept, Tok::KwFinally, Tok::KwEnd);
  if (accept(Tok::KwFinally)) {
    auto s = std::make_unique<Stmt>(SK::TryFinally, p);
    s->body = std::move(body);
    auto fin = std::make_unique<Stmt>(SK::Compound, tok_.pos);
    statementList(fin->body, Tok::KwEnd);
    s->otherwise = std::move(fin);
    if (!accept(Tok::KwEnd))
      diag_.error(tok_.pos, u"'end' expected (to close 'try' at line " + num(p.row) + u")");
    return s;
  }
  auto s = std::make_unique<Stmt>(SK::TryExcept, p);
  s->body = std::move(body);
  if (!accept(Tok::KwExcept)) {
    diag_.error(tok_.pos, u"'except' or 'finally' expected (to close 'try' at line " + num(p.row) + u")");
    return s;
  }
  ++handlers_;
  if (isWord(u"on")) {
    while (isWord(u"on") && !diag_.full()) {
      advance();
      Handler h;
      Pos hp = tok_.pos;
      std::u16string var;
      if (is(Tok::Ident) && peekToken().kind == Tok::Colon) {
        var = identifier();
        advance();
      }
      const Type* ct = typeIdentifier();
      if (ct->kind != TypeKind::Class) diag_.error(hp, u"Class type expected");
      h.cls = ct->cls;
      expect(Tok::KwDo);
      if (!var.empty()) {
        scopes_.push(nullptr, true);
        h.slot = newSlot(ct);
        Symbol sym;
        sym.kind = SymKind::Var;
        sym.type = ct;
        sym.level = cur_->level;
        sym.slot = h.slot;
        sym.pos = hp;
        sym.used = true;
        scopes_.declare(diag_, var, sym);
        h.body = statement();
        scopes_.pop();
      } else {
        h.body = statement();
      }
      s->handlers.push_back(std::move(h));
      if (!accept(Tok::Semicolon)) break;
    }
    if (accept(Tok::KwElse)) {
      auto e = std::make_unique<Stmt>(SK::Compound, tok_.pos);
      statementList(e->body, Tok::KwEnd);
      s->otherwise = std::move(e);
    }
  } else {
    auto e = std::make_unique<Stmt>(SK::Compound, tok_.pos);
    statementList(e->body, Tok::KwEnd);
    s->otherwise = std::move(e);
    s->catchAll = true;
  }
  --handlers_;
  if (!accept(Tok::KwEnd))
    diag_.error(tok_.pos, u"'end' expected (to close 'try' at line " + num(p.row) + u")");
  return s;
}

// raise = "raise" [expression]
StmtPtr Parser::raiseStatement() {
  auto s = std::make_unique<Stmt>(SK::Raise, tok_.pos);
  advance();
  if (!is(Tok::Semicolon) && !is(Tok::KwEnd) && !is(Tok::KwElse) && !is(Tok::KwUntil) &&
      !is(Tok::KwExcept) && !is(Tok::KwFinally) && !is(Tok::Eof)) {
    s->a = expression();
    if (s->a->type->kind != TypeKind::Class) diag_.error(s->a->pos, u"Exception object expected");
  } else if (handlers_ == 0) {
    diag_.error(s->pos, u"'raise' without an object is allowed only in an exception handler");
  }
  return s;
}

StmtPtr Parser::assignment(ExprPtr target, ExprPtr value, Pos p) {
  auto s = std::make_unique<Stmt>(SK::Assign, p);
  s->a = lvalue(std::move(target), u"assignment", true);
  s->b = check_.convert(std::move(value), s->a->type);
  return s;
}

// simpleStatement = designator [":=" expression | "+=" expression | "-=" expression]
StmtPtr Parser::simpleStatement() {
  Pos p = tok_.pos;
  if (is(Tok::Ident)) {
    const std::u16string& k = tok_.key;
    Symbol* s = scopes_.find(k);
    if (!s) {
      if (k == u"write" || k == u"writeln") {
        bool line = k == u"writeln";
        advance();
        return writeStatement(line, p);
      }
      if (k == u"read" || k == u"readln") {
        bool line = k == u"readln";
        advance();
        return readStatement(line, p);
      }
      if (k == u"inc" || k == u"dec") {
        bool inc = k == u"inc";
        advance();
        return incDec(inc, p);
      }
      if (k == u"include" || k == u"exclude") {
        bool inc = k == u"include";
        advance();
        return includeExclude(inc, p);
      }
      if (k == u"setlength") {
        advance();
        return setLength(p);
      }
      if (k == u"exit") {
        advance();
        return exitStatement(p);
      }
      if (k == u"break" || k == u"continue") {
        bool brk = k == u"break";
        advance();
        if (loops_ == 0) diag_.error(p, brk ? u"'break' outside a loop" : u"'continue' outside a loop");
        return std::make_unique<Stmt>(brk ? SK::Break : SK::Continue, p);
      }
    }
    // assignment to the function's own name sets its result
    if (s && s->kind == SymKind::Routine && peekToken().kind == Tok::Assign) {
      auto named = [&](const Routine* r) {
        for (const Routine* o = s->routine; o; o = o->nextOverload)
          if (o == r) return true;
        return false;
      };
      for (Routine* r = cur_; r; r = r->parent) {
        if (named(r) && r->result) {
          advance();
          advance();
          auto target = std::make_unique<Expr>(EK::Var, p);
          target->type = r->result;
          target->slot = r->resultSlot;
          target->level = r->level;
          return assignment(std::move(target), expression(), p);
        }
      }
    }
  }
  ExprPtr e = designator();
  if (accept(Tok::Assign)) {
    ExprPtr value = e->type->kind == TypeKind::Proc ? procedureValue(e->type) : expression();
    return assignment(std::move(e), std::move(value), p);
  }
  if (is(Tok::PlusAssign) || is(Tok::MinusAssign)) {
    bool plus = is(Tok::PlusAssign);
    advance();
    // x += y is x := x + y with x evaluated once for simple variables
    ExprPtr target = lvalue(std::move(e), u"assignment", true);
    auto copy = check_.cloneLvalue(*target);
    ExprPtr sum = check_.binary(plus ? Oper::Add : Oper::Sub, std::move(copy), expression(), p);
    return assignment(std::move(target), std::move(sum), p);
  }
  auto s = std::make_unique<Stmt>(SK::ExprStmt, p);
  if (e->kind != EK::Call && e->kind != EK::External && e->kind != EK::Native && e->kind != EK::NewObject &&
      e->kind != EK::Magic && e->kind != EK::HostCall && e->kind != EK::HostNew) {
    if (!diag_.full()) diag_.error(p, u"Statement expected");
  }
  s->a = std::move(e);
  return s;
}

// write = ("Write" | "Writeln") [ "(" arg {"," arg} ")" ];  arg = expression [":" expr [":" expr]]
StmtPtr Parser::writeStatement(bool line, Pos p) {
  auto e = std::make_unique<Expr>(EK::Magic, p);
  e->index = line ? 1 : 0;
  e->type = types_.voidT;
  if (accept(Tok::LParen)) {
    if (!is(Tok::RParen)) {
      do {
        ExprPtr a = expression();
        if (!check_.writable(a->type)) diag_.error(a->pos, u"Cannot write a value of type '" + typeName(a->type) + u"'");
        // 8-bit strings hold UTF-8 bytes: the sink wants text
        if (a->type->kind == TypeKind::AnsiString) a = check_.convert(std::move(a), types_.string);
        ExprPtr w, d;
        if (accept(Tok::Colon)) {
          w = check_.convert(expression(), types_.int64);
          if (accept(Tok::Colon)) d = check_.convert(expression(), types_.int64);
        }
        // three entries per argument: value, width, precision
        e->args.push_back(std::move(a));
        e->args.push_back(std::move(w));
        e->args.push_back(std::move(d));
      } while (accept(Tok::Comma));
    }
    expect(Tok::RParen);
  }
  auto s = std::make_unique<Stmt>(SK::ExprStmt, p);
  s->a = std::move(e);
  return s;
}

// read = ("Read" | "Readln") [ "(" designator {"," designator} ")" ]
StmtPtr Parser::readStatement(bool line, Pos p) {
  (void)line;
  auto block = std::make_unique<Stmt>(SK::Compound, p);
  auto readLine = [&]() {
    int idx = findNative(u"__readln");
    auto call = std::make_unique<Expr>(EK::Native, p);
    call->index = idx;
    call->type = types_.string;
    return call;
  };
  bool any = false;
  if (accept(Tok::LParen)) {
    if (!is(Tok::RParen)) {
      do {
        ExprPtr target = lvalue(designator(), u"Read");
        ExprPtr value = readLine();
        if (target->type->kind == TypeKind::Integer) value = check_.nativeCall(u"strtoint", std::move(value), p);
        else if (target->type->kind == TypeKind::Float) value = check_.nativeCall(u"strtofloat", std::move(value), p);
        else if (target->type->kind == TypeKind::Char) value = check_.nativeCall(u"__firstchar", std::move(value), p);
        auto s = std::make_unique<Stmt>(SK::Assign, p);
        s->b = check_.convert(std::move(value), target->type);
        s->a = std::move(target);
        block->body.push_back(std::move(s));
        any = true;
      } while (accept(Tok::Comma));
    }
    expect(Tok::RParen);
  }
  if (!any) {
    auto s = std::make_unique<Stmt>(SK::ExprStmt, p);
    s->a = readLine();
    block->body.push_back(std::move(s));
  }
  return block;
}

// incDec = ("Inc" | "Dec") "(" designator ["," expression] ")"
StmtPtr Parser::incDec(bool inc, Pos p) {
  expect(Tok::LParen);
  ExprPtr target = lvalue(designator(), inc ? u"Inc" : u"Dec", true);
  ExprPtr amount;
  if (accept(Tok::Comma)) amount = expression();
  else amount = check_.constant(p, types_.int64, Value::integer(1));
  expect(Tok::RParen);
  if (!target->type->isOrdinal()) {
    diag_.error(p, u"Ordinal type required");
    return std::make_unique<Stmt>(SK::Empty, p);
  }
  amount = check_.convert(std::move(amount), types_.int64);
  ExprPtr current = check_.ordinalValue(check_.cloneLvalue(*target));
  ExprPtr sum = check_.binary(inc ? Oper::Add : Oper::Sub, std::move(current), std::move(amount), p);
  auto s = std::make_unique<Stmt>(SK::Assign, p);
  s->b = check_.retype(std::move(sum), target->type);
  s->a = std::move(target);
  return s;
}

// includeExclude = ("Include" | "Exclude") "(" designator "," expression ")"
StmtPtr Parser::includeExclude(bool include, Pos p) {
  expect(Tok::LParen);
  ExprPtr target = lvalue(designator(), u"Include");
  expect(Tok::Comma);
  ExprPtr elem = expression();
  expect(Tok::RParen);
  if (target->type->kind != TypeKind::Set) {
    diag_.error(p, u"Set type expected");
    return std::make_unique<Stmt>(SK::Empty, p);
  }
  auto set = std::make_unique<Expr>(EK::SetCons, p);
  set->type = target->type;
  set->args.push_back(check_.convert(std::move(elem), target->type->element));
  ExprPtr r = check_.binary(include ? Oper::Add : Oper::Sub, check_.cloneLvalue(*target), std::move(set), p);
  auto s = std::make_unique<Stmt>(SK::Assign, p);
  s->b = check_.convert(std::move(r), target->type);
  s->a = std::move(target);
  return s;
}

// setLength = "SetLength" "(" designator "," expression ")"
StmtPtr Parser::setLength(Pos p) {
  expect(Tok::LParen);
  ExprPtr target = lvalue(designator(), u"SetLength");
  expect(Tok::Comma);
  ExprPtr n = check_.convert(expression(), types_.int64);
  std::vector<ExprPtr> more;
  while (accept(Tok::Comma)) more.push_back(check_.convert(expression(), types_.int64));
  expect(Tok::RParen);
  auto s = std::make_unique<Stmt>(SK::ExprStmt, p);
  const Type* t = target->type;
  if (t->kind == TypeKind::String || t->kind == TypeKind::AnsiString) {
    auto call = std::make_unique<Expr>(EK::Native, p);
    call->index = findNative(u"__setlengthstr");
    call->type = types_.voidT;
    call->args.push_back(std::move(target));
    call->byRef.push_back(1);
    call->args.push_back(std::move(n));
    call->byRef.push_back(0);
    s->a = std::move(call);
    return s;
  }
  if (t->kind != TypeKind::DynArray) {
    diag_.error(p, u"Dynamic array or string expected");
    return std::make_unique<Stmt>(SK::Empty, p);
  }
  // SetLength(a, n, m): every element of a becomes an array of m
  auto call = std::make_unique<Expr>(EK::Native, p);
  call->index = findNative(u"__setlengtharr");
  call->type = types_.voidT;
  call->args.push_back(std::move(target));
  call->byRef.push_back(1);
  call->args.push_back(std::move(n));
  call->byRef.push_back(0);
  const Type* elem = t->element;
  for (auto& m : more) {
    if (elem->kind != TypeKind::DynArray) {
      diag_.error(p, u"Too many dimensions for SetLength");
      break;
    }
    call->args.push_back(std::move(m));
    call->byRef.push_back(0);
    elem = elem->element;
  }
  auto init = std::make_unique<Expr>(EK::Const, p);
  init->type = elem;
  init->index = -2;  // the element's default value, built fresh per element
  call->args.insert(call->args.begin() + 1, std::move(init));
  call->byRef.insert(call->byRef.begin() + 1, 0);
  s->a = std::move(call);
  return s;
}

// exit = "Exit" [ "(" [expression] ")" ]
StmtPtr Parser::exitStatement(Pos p) {
  auto s = std::make_unique<Stmt>(SK::Exit, p);
  if (accept(Tok::LParen)) {
    if (!is(Tok::RParen)) {
      ExprPtr v = expression();
      if (!cur_->result) {
        diag_.error(p, u"Exit with a value outside a function");
      } else {
        s->b = check_.convert(std::move(v), cur_->result);
        auto target = std::make_unique<Expr>(EK::Var, p);
        target->type = cur_->result;
        target->slot = cur_->resultSlot;
        target->level = cur_->level;
        s->a = std::move(target);
      }
    }
    expect(Tok::RParen);
  }
  return s;
}

// ---------------------------------------------------------------------------------
// Expressions

ExprPtr Parser::lvalue(ExprPtr e, const char16_t* what, bool hostTargets) {
  if (check_.addressable(*e)) return e;
  if (hostTargets && e->kind == EK::HostVar) return e;
  if (hostTargets && e->kind == EK::Property) {
    if (e->index < 0) diag_.error(e->pos, u"Cannot assign to a read-only property");
    return e;
  }
  diag_.error(e->pos, std::u16string(u"Variable required") +
                          (what ? u" (" + std::u16string(what) + u")" : u""));
  auto v = std::make_unique<Expr>(EK::Var, e->pos);
  v->type = e->type ? e->type : types_.integer;
  v->slot = 0;
  v->level = -2;  // never generated: the compilation has failed
  return v;
}

// expression = simpleExpression [ relop simpleExpression ]
ExprPtr Parser::expression() {
  Nest guard(*this, tok_.pos);
  if (!guard.ok) {
    syncStatement();
    return errorExpr(tok_.pos);
  }
  ExprPtr a = simpleExpression();
  for (;;) {
    Oper op;
    switch (tok_.kind) {
      case Tok::Eq: op = Oper::Eq; break;
      case Tok::NotEq: op = Oper::Ne; break;
      case Tok::Less: op = Oper::Lt; break;
      case Tok::Greater: op = Oper::Gt; break;
      case Tok::LessEq: op = Oper::Le; break;
      case Tok::GreaterEq: op = Oper::Ge; break;
      case Tok::KwIn: op = Oper::In; break;
      case Tok::KwIs: op = Oper::Is; break;
      default: return a;
    }
    Pos p = tok_.pos;
    advance();
    if (op == Oper::Is) {
      const Type* t = typeIdentifier();
      a = check_.isClass(std::move(a), t, p);
      continue;
    }
    a = check_.binary(op, std::move(a), simpleExpression(), p);
  }
}

// simpleExpression = ["+" | "-"] term { ("+" | "-" | "or" | "xor") term }
ExprPtr Parser::simpleExpression() {
  Pos p = tok_.pos;
  Chain chained(*this);
  ExprPtr a;
  if (accept(Tok::Minus)) a = check_.unary(Oper::Neg, term(), p);
  else if (accept(Tok::Plus)) a = check_.unary(Oper::Add, term(), p);
  else a = term();
  for (;;) {
    Oper op;
    switch (tok_.kind) {
      case Tok::Plus: op = Oper::Add; break;
      case Tok::Minus: op = Oper::Sub; break;
      case Tok::KwOr: op = Oper::Or; break;
      case Tok::KwXor: op = Oper::Xor; break;
      default: return a;
    }
    Pos q = tok_.pos;
    advance();
    if (!chain(q, chained)) return a;
    a = check_.binary(op, std::move(a), term(), q);
  }
}

// term = factor { ("*" | "/" | "div" | "mod" | "and" | "shl" | "shr" | "as") factor }
ExprPtr Parser::term() {
  Chain chained(*this);
  ExprPtr a = factor();
  for (;;) {
    Oper op;
    switch (tok_.kind) {
      case Tok::Star: op = Oper::Mul; break;
      case Tok::Slash: op = Oper::FDiv; break;
      case Tok::KwDiv: op = Oper::IDiv; break;
      case Tok::KwMod: op = Oper::Mod; break;
      case Tok::KwAnd: op = Oper::And; break;
      case Tok::KwShl: op = Oper::Shl; break;
      case Tok::KwShr: op = Oper::Shr; break;
      case Tok::KwAs: {
        Pos q = tok_.pos;
        advance();
        const Type* t = typeIdentifier();
        a = check_.asClass(std::move(a), t, q);
        continue;
      }
      default: return a;
    }
    Pos q = tok_.pos;
    advance();
    if (!chain(q, chained)) return a;
    a = check_.binary(op, std::move(a), factor(), q);
  }
}

// factor = number | string | "nil" | "(" expression ")" | "not" factor | "@" designator
//        | setConstructor | designator
ExprPtr Parser::factor() {
  Nest guard(*this, tok_.pos);
  Pos p = tok_.pos;
  if (!guard.ok) {
    syncStatement();
    return errorExpr(p);
  }
  switch (tok_.kind) {
    case Tok::IntLit: {
      uint64_t v = tok_.intValue;
      advance();
      return check_.constant(p, v > INT32_MAX ? types_.int64 : types_.integer,
                             Value::integer(static_cast<int64_t>(v)));
    }
    case Tok::RealLit: {
      double v = tok_.realValue;
      advance();
      return check_.constant(p, types_.real, Value::real(v));
    }
    case Tok::StrLit: {
      std::u16string s = tok_.text;
      advance();
      if (s.size() == 1) return check_.constant(p, types_.chr, Value::integer(s[0]));
      return check_.constant(p, types_.string, Value::string(std::move(s)));
    }
    case Tok::KwNil:
      advance();
      return check_.constant(p, types_.nil, Value::heap(vm::Tag::Object, nullptr));
    case Tok::LParen: {
      advance();
      ExprPtr e = expression();
      expect(Tok::RParen);
      return selectors(std::move(e));
    }
    case Tok::KwNot:
      advance();
      return check_.unary(Oper::Not, factor(), p);
    case Tok::Minus:  // a sign after an operator: 7 div -2
      advance();
      return check_.unary(Oper::Neg, factor(), p);
    case Tok::Plus:
      advance();
      return check_.unary(Oper::Add, factor(), p);
    case Tok::LBracket: return setConstructor();
    case Tok::At:
      advance();
      diag_.error(p, u"Pointers are not supported");
      return designator();
    case Tok::Ident: case Tok::KwString: return designator();
    default:
      if (!diag_.full()) errorExpected(u"expression");
      if (!is(Tok::Eof) && !is(Tok::Semicolon) && !is(Tok::KwEnd)) advance();
      return errorExpr(p);
  }
}

// setConstructor = "[" [ element {"," element} ] "]";  element = expression [".." expression]
// Its type is decided by its use: a set, or an open array (array of const).
ExprPtr Parser::setConstructor() {
  Pos p = tok_.pos;
  advance();
  auto e = std::make_unique<Expr>(EK::SetCons, p);
  if (!is(Tok::RBracket)) {
    do {
      ExprPtr lo = expression();
      if (accept(Tok::DotDot)) {
        auto range = std::make_unique<Expr>(EK::Binary, lo->pos);
        range->op = Oper::In;  // marks a range lo..hi inside a constructor
        range->type = lo->type;
        range->b = expression();
        range->a = std::move(lo);
        e->args.push_back(std::move(range));
      } else {
        e->args.push_back(std::move(lo));
      }
      if (!diag_.checkLimit(p, static_cast<long long>(e->args.size()), 100000, "constructor size")) break;
    } while (accept(Tok::Comma));
  }
  expect(Tok::RBracket);
  return check_.finishConstructor(std::move(e));
}

std::vector<ExprPtr> Parser::arguments() {
  std::vector<ExprPtr> args;
  if (!accept(Tok::LParen)) return args;
  if (accept(Tok::RParen)) return args;
  do {
    args.push_back(expression());
    if (diag_.full()) break;
  } while (accept(Tok::Comma));
  expect(Tok::RParen);
  return args;
}

// designator = ident { selector }
// A statement may start with a parenthesized object: (Sender as TStrings).Add(...).
ExprPtr Parser::designator() {
  if (is(Tok::LParen)) {
    advance();
    ExprPtr e = expression();
    expect(Tok::RParen);
    return selectors(std::move(e));
  }
  return selectors(identifierExpr());
}

// identifierExpr = ident [ "(" args ")" ]   (variables, constants, calls, casts)
ExprPtr Parser::identifierExpr() {
  Pos p = tok_.pos;
  if (is(Tok::KwString)) {  // string(x): a cast
    advance();
    std::vector<ExprPtr> args = arguments();
    if (args.size() != 1) {
      diag_.error(p, u"Wrong number of parameters");
      return errorExpr(p);
    }
    return check_.cast(std::move(args[0]), types_.string, p);
  }
  if (!is(Tok::Ident)) {
    errorExpected(u"identifier");
    return errorExpr(p);
  }
  std::u16string name = tok_.text;
  std::u16string key = tok_.key;
  Symbol* s = scopes_.find(key);
  if (!s) {
    advance();
    bool handled = false;
    ExprPtr m = magicFunction(key, p, handled);
    if (handled) return m;
    int n = findNative(key);
    if (n >= 0) return callNative(n, name, p);
    diag_.error(p, u"Undeclared identifier: '" + name + u"'");
    if (is(Tok::LParen)) arguments();
    return errorExpr(p);
  }
  advance();
  s->used = true;
  switch (s->kind) {
    case SymKind::Const: return check_.constant(p, s->type, s->value);
    case SymKind::Var: {
      if (s->host >= 0) {
        auto h = std::make_unique<Expr>(EK::HostVar, p);
        h->type = s->type;
        h->index = s->host;
        return h;
      }
      auto e = std::make_unique<Expr>(EK::Var, p);
      e->type = s->type;
      e->slot = s->slot;
      e->level = s->level;
      e->ref = s->ref;
      return e;
    }
    case SymKind::WithField: {
      auto base = std::make_unique<Expr>(EK::Var, p);
      base->type = s->recordType;
      base->slot = s->slot;
      base->level = s->level;
      base->ref = true;
      auto f = std::make_unique<Expr>(EK::Field, p);
      f->index = s->field;
      f->type = s->type;
      f->a = std::move(base);
      return f;
    }
    case SymKind::Routine: return callRoutine(s->routine, p);
    case SymKind::WithMember: {
      auto obj = std::make_unique<Expr>(EK::Var, p);
      obj->type = s->recordType;
      obj->slot = s->slot;
      obj->level = s->level;
      if (s->field >= 0) return memberAccess(std::move(obj), prog_.hostMembers[s->field], p, false);
      std::vector<ExprPtr> args = arguments();
      return check_.objectMember(std::move(obj), key, std::move(args), p);
    }
    case SymKind::TypeName: {
      const Type* t = s->type;
      if (t->kind == TypeKind::Class && is(Tok::Dot)) {
        advance();
        Pos mp = tok_.pos;
        std::u16string member = foldName(identifier());
        bool handled = false;
        ExprPtr made = hostConstructor(t, member, mp, handled);
        if (handled) return made;
        std::vector<ExprPtr> args = arguments();
        return check_.classMethod(t, member, std::move(args), mp);
      }
      std::vector<ExprPtr> args = arguments();
      if (args.size() != 1) {
        diag_.error(p, u"Wrong number of parameters");
        return errorExpr(p);
      }
      return check_.cast(std::move(args[0]), t, p);
    }
  }
  return errorExpr(p);
}

// selector = "[" expression {"," expression} "]" | "." ident | "^"
ExprPtr Parser::selectors(ExprPtr e) {
  for (int guard = 0; guard < 10000; ++guard) {
    Pos p = tok_.pos;
    if (accept(Tok::LBracket)) {
      if (e->type->kind == TypeKind::Class) {
        const HostMember* m = findMember(e->type->cls, {}, true);
        if (!m) {
          diag_.error(p, u"Class '" + typeName(e->type) + u"' has no default property");
          syncStatement();
          return errorExpr(p);
        }
        e = memberAccess(std::move(e), *m, p, true);
        continue;
      }
      do e = check_.index(std::move(e), expression(), p);
      while (accept(Tok::Comma));
      expect(Tok::RBracket);
    } else if (accept(Tok::Dot)) {
      Pos fp = tok_.pos;
      std::u16string name = identifier();
      if (name.empty()) return e;
      std::u16string key = foldName(name);
      if (e->type->kind == TypeKind::Class) {
        if (const HostMember* m = findMember(e->type->cls, key, false)) {
          e = memberAccess(std::move(e), *m, fp, false);
          continue;
        }
        std::vector<ExprPtr> args = arguments();
        e = check_.objectMember(std::move(e), key, std::move(args), fp);
        continue;
      }
      e = check_.field(std::move(e), name, fp);
    } else if (accept(Tok::Caret)) {
      diag_.error(p, u"Pointers are not supported");
    } else {
      return e;
    }
  }
  return e;
}

// How well arguments fit a routine's parameters: -1 when they cannot be passed, else
// the cost of the conversions (0: every type exact). Omitted trailing arguments need
// default values.
int Parser::fitCost(const Routine& r, const std::vector<ExprPtr>& args) const {
  if (args.size() > r.params.size()) return -1;
  if (args.size() < r.params.size() && !r.params[args.size()].hasDefault) return -1;
  int cost = 0;
  for (size_t k = 0; k < args.size(); ++k) {
    const Param& prm = r.params[k];
    const Expr& a = *args[k];
    const Type* from = a.type;
    if (prm.byRef()) {
      if (!check_.sameType(from, prm.type) || !check_.addressable(a)) return -1;
    } else if (from->kind == TypeKind::Integer && prm.type->kind == TypeKind::Integer) {
      // the same kind, then a kind that holds every value, then one that narrows
      if (from->intKind != prm.type->intKind) {
        int64_t lo, hi;
        intRange(prm.type->intKind, lo, hi);
        bool fits = a.kind == EK::Const ? a.value.i >= lo && a.value.i <= hi : from->low >= lo && from->high <= hi;
        cost += fits ? 1 : 4;
      }
    } else if (check_.sameType(from, prm.type)) {
    } else if (check_.assignable(from, prm.type, &a)) {
      cost += prm.type->kind == TypeKind::Variant ? 8 : from->kind == TypeKind::Variant ? 16
              : from->kind == TypeKind::Integer ? 3 : 2;
    } else if (a.kind == EK::Const && from->isString() && a.value.str().size() == 1 &&
               (prm.type->kind == TypeKind::Char || prm.type->kind == TypeKind::AnsiChar)) {
      cost += 2;
    } else if (a.kind == EK::SetCons && (prm.type->kind == TypeKind::Set || prm.type->kind == TypeKind::DynArray ||
                                         prm.type->kind == TypeKind::ArrayOfConst)) {
      cost += 2;
    } else {
      return -1;
    }
  }
  return cost;
}

ExprPtr Parser::callRoutine(Routine* r, Pos p) {
  std::vector<ExprPtr> args = arguments();
  if (r->nextOverload) {
    // the overload whose parameters the arguments fit best; a tie is an error
    Routine* best = nullptr;
    int bestCost = -1, ties = 0;
    for (Routine* o = r; o; o = o->nextOverload) {
      int c = fitCost(*o, args);
      if (c < 0) continue;
      if (!best || c < bestCost) {
        best = o;
        bestCost = c;
        ties = 0;
      } else if (c == bestCost) {
        ++ties;
      }
    }
    if (!best) {
      diag_.error(p, u"There is no overloaded version of '" + r->name + u"' that can be called with these arguments");
      return errorExpr(p);
    }
    if (ties > 0) {
      diag_.error(p, u"Ambiguous overloaded call to '" + r->name + u"'");
      return errorExpr(p);
    }
    r = best;
  }
  auto e = std::make_unique<Expr>(r->host >= 0 ? EK::HostCall : r->external >= 0 ? EK::External : EK::Call, p);
  e->index = r->host >= 0 ? r->host : r->external >= 0 ? r->external : r->index;
  e->type = r->result ? r->result : types_.voidT;
  // static link: hops from the caller's frame to the callee's parent frame
  if (r->level <= 1) e->hops = -1;
  else e->hops = cur_->level - (r->level - 1);
  bindArguments(*e, std::move(args), r->params, r->name, p);
  return e;
}

ExprPtr Parser::callNative(int index, std::u16string_view name, Pos p) {
  std::vector<ExprPtr> args = arguments();
  return check_.native(index, name, std::move(args), p);
}

// The routines whose typing depends on their argument: Length, High, Low, Ord, Chr,
// Succ, Pred, Copy (arrays), Assigned, SizeOf, Concat, Default-free others are natives.
ExprPtr Parser::magicFunction(std::u16string_view key, Pos p, bool& handled) {
  handled = true;
  if (key == u"high" || key == u"low") {
    bool high = key == u"high";
    expect(Tok::LParen);
    const Type* t = nullptr;
    ExprPtr arg;
    if (is(Tok::Ident)) {
      Symbol* s = scopes_.find(tok_.key);
      if (s && s->kind == SymKind::TypeName && peekToken().kind == Tok::RParen) {
        t = s->type;
        advance();
      }
    } else if (is(Tok::KwString)) {
      diag_.error(p, u"Ordinal or array type required");
    }
    if (!t) {
      arg = expression();
      t = arg->type;
    }
    expect(Tok::RParen);
    if (t->isOrdinal() || t->kind == TypeKind::StaticArray) {
      return check_.constant(p, t->kind == TypeKind::StaticArray ? (t->index ? t->index : types_.int64) : t,
                             Value::integer(high ? t->high : t->low));
    }
    if (arg && (t->kind == TypeKind::DynArray || t->isString() || t->kind == TypeKind::ArrayOfConst)) {
      if (!high) return check_.constant(p, types_.int64, Value::integer(t->isString() ? 1 : 0));
      std::vector<ExprPtr> a;
      a.push_back(std::move(arg));
      ExprPtr len = check_.native(findNative(u"length"), u"Length", std::move(a), p);
      if (t->isString()) return len;
      return check_.binary(Oper::Sub, std::move(len), check_.constant(p, types_.int64, Value::integer(1)), p);
    }
    diag_.error(p, u"Ordinal or array type required");
    return errorExpr(p);
  }
  if (key == u"length" || key == u"ord" || key == u"chr" || key == u"succ" || key == u"pred" ||
      key == u"assigned" || key == u"sizeof" || key == u"copy" || key == u"concat" ||
      key == u"odd" || key == u"abs" || key == u"sqr") {
    std::vector<ExprPtr> args = arguments();
    return check_.magic(key, std::move(args), p);
  }
  handled = false;
  return nullptr;
}

// ---------------------------------------------------------------------------------
// Host declarations: each text is parsed as if it stood in the source, in a module of
// its own, so a mistake in one is an ordinary message naming the declaration.

void Parser::hostDeclarations() {
  if (!host_) return;
  using Kind = Engine::Host::Kind;
  for (const auto& d : host_->decls) {
    if (diag_.full()) return;
    switch (d.kind) {
      case Kind::Types: withHostText(u"type " + d.text, [&] { typeSection(); }); break;
      case Kind::Constants: withHostText(u"const " + d.text, [&] { constSection(); }); break;
      case Kind::Function: withHostText(d.text, [&] { hostFunction(d); }); break;
      case Kind::Variable: withHostText(d.text, [&] { hostVariable(d); }); break;
      case Kind::Class: hostClass(d); break;
    }
  }
}

void Parser::withHostText(const std::u16string& text, const std::function<void()>& parse) {
  std::u16string label = u"(host) " + text.substr(0, std::min<size_t>(text.find(u'\n'), 80));
  int module = static_cast<int>(diag_.modules.size());
  diag_.modules.push_back(std::move(label));
  Options plain;
  plain.preprocessor = false;
  auto savedPp = std::move(pp_);
  Token savedTok = std::move(tok_), savedPeek = std::move(peek_);
  bool savedHasPeek = hasPeek_;
  pp_ = std::make_unique<Preprocessor>(text, plain, diag_, noInclude_, noDirective_, module);
  hasPeek_ = false;
  advance();
  parse();
  if (!is(Tok::Eof)) diag_.error(tok_.pos, u"Unexpected '" + shown(tok_) + u"' after the declaration");
  pp_ = std::move(savedPp);
  tok_ = std::move(savedTok);
  peek_ = std::move(savedPeek);
  hasPeek_ = savedHasPeek;
}

int Parser::addHostRoutine(std::u16string name, const HostFunction* fn, std::vector<Param> params,
                           const Type* result, bool self) {
  HostSignature h;
  h.name = std::move(name);
  h.fn = fn;
  h.params = std::move(params);
  h.result = result;
  h.self = self;
  prog_.hostRoutines.push_back(std::move(h));
  return static_cast<int>(prog_.hostRoutines.size()) - 1;
}

// Directives a host text may carry after its header; they change nothing here.
static bool routineDirective(const std::u16string& key) {
  return key == u"stdcall" || key == u"cdecl" || key == u"register" || key == u"pascal" ||
         key == u"overload" || key == u"virtual" || key == u"override" || key == u"dynamic" ||
         key == u"reintroduce" || key == u"abstract" || key == u"safecall";
}

// "function Name(params): Type;" | "procedure Name(params);"  (the final ";" may be missing)
void Parser::hostFunction(const Engine::Host::Decl& d) {
  bool isFunction = is(Tok::KwFunction);
  if (!isFunction && !is(Tok::KwProcedure)) {
    errorExpected(u"function");
    return;
  }
  Pos p = tok_.pos;
  advance();
  std::u16string name;
  std::vector<Param> params;
  const Type* result = nullptr;
  routineHeader(isFunction, name, params, result);
  accept(Tok::Semicolon);
  while (is(Tok::Ident) && routineDirective(tok_.key)) {
    advance();
    accept(Tok::Semicolon);
  }
  auto r = std::make_unique<Routine>();
  r->name = name;
  r->pos = p;
  r->level = 1;
  r->params = params;
  r->result = result;
  r->defined = true;
  r->host = addHostRoutine(name, d.fn, std::move(params), result, false);
  Symbol s;
  s.kind = SymKind::Routine;
  s.routine = r.get();
  s.pos = p;
  hostRoutines_.push_back(std::move(r));
  scopes_.declare(diag_, name, s);
}

// "Name: Type": the storage must hold values of the type.
void Parser::hostVariable(const Engine::Host::Decl& d) {
  Pos p = tok_.pos;
  std::u16string name = identifier();
  expect(Tok::Colon);
  const Type* t = typeSpec();
  accept(Tok::Semicolon);
  bool fits = false;
  switch (d.storage.kind) {
    case Storage::Kind::Int32: case Storage::Kind::Int64:
      fits = t->isOrdinal() && t->kind != TypeKind::Boolean;
      break;
    case Storage::Kind::Boolean: fits = t->kind == TypeKind::Boolean; break;
    case Storage::Kind::Real: fits = t->kind == TypeKind::Float; break;
    case Storage::Kind::String: fits = t->isString(); break;
    case Storage::Kind::Object: fits = t->kind == TypeKind::Class; break;
    case Storage::Kind::Variant: fits = t->kind == TypeKind::Variant; break;
  }
  if (!fits || !d.storage.at) {
    diag_.error(p, u"The host's storage for '" + name + u"' cannot hold a " + typeName(t));
    return;
  }
  prog_.hostVariables.push_back(HostVariable{d.storage, t});
  Symbol s;
  s.kind = SymKind::Var;
  s.type = t;
  s.level = -1;
  s.host = static_cast<int>(prog_.hostVariables.size()) - 1;
  s.pos = p;
  s.used = true;
  scopes_.declare(diag_, name, s);
}

void Parser::hostClass(const Engine::Host::Decl& d) {
  const HostClass& hc = *d.cls;
  const vm::ClassInfo* parent = nullptr;
  if (hc.parent()) {
    auto it = hostInfos_.find(hc.parent());
    if (it == hostInfos_.end()) {
      withHostText(u"class " + hc.name(), [&] {
        diag_.error(tok_.pos, u"Class '" + hc.name() + u"' is declared before its parent '" +
                                  hc.parent()->name() + u"'");
        while (!is(Tok::Eof)) advance();
      });
    } else {
      parent = it->second;
    }
  }
  vm::ClassInfo* info = types_.addClass(hc.name(), parent);
  info->host = &hc;
  prog_.hostClasses.push_back(d.cls);
  if (!parent && hc.name() == u"TObject") {
    // the script's exception classes descend from it too
    auto* root = const_cast<vm::ClassInfo*>(types_.exceptionInfo());
    if (!root->parent) root->parent = info;
  }
  hostInfos_[&hc] = info;
  Type* t = types_.make(TypeKind::Class, hc.name());
  t->cls = info;
  Symbol s;
  s.kind = SymKind::TypeName;
  s.type = t;
  scopes_.declare(diag_, hc.name(), s);
  for (const HostClass::Member& m : hc.members())
    withHostText(m.text, [&] { hostMember(hc, m); });
}

// "constructor Create(...);" | "procedure ...;" | "function ...: T;" |
// "property Name[index params]: Type; [default;]"
void Parser::hostMember(const HostClass& cls, const HostClass::Member& m) {
  HostMember hm;
  hm.cls = &cls;
  hm.kind = m.kind;
  hm.published = m.published;
  Pos p = tok_.pos;
  if (m.kind == HostClass::MemberKind::Property) {
    if (!isWord(u"property")) {
      errorExpected(u"property");
      return;
    }
    advance();
    hm.name = identifier();
    std::vector<Param> index;
    if (accept(Tok::LBracket)) {
      do {
        ParamMode mode = accept(Tok::KwConst) ? ParamMode::Const : ParamMode::Value;
        std::vector<std::u16string> names;
        do names.push_back(identifier());
        while (accept(Tok::Comma));
        expect(Tok::Colon);
        const Type* it = typeIdentifier();
        for (auto& n : names) {
          Param prm;
          prm.name = n;
          prm.type = it;
          prm.mode = mode;
          index.push_back(std::move(prm));
        }
      } while (accept(Tok::Semicolon) && !diag_.full());
      expect(Tok::RBracket);
    }
    expect(Tok::Colon);
    hm.type = typeIdentifier();
    accept(Tok::Semicolon);
    if (isWord(u"default")) {
      advance();
      accept(Tok::Semicolon);
      hm.isDefault = true;
      if (index.empty()) diag_.error(p, u"A default property must have an index");
    }
    hm.indexCount = static_cast<int>(index.size());
    std::vector<Param> setter = index;
    Param value;
    value.name = u"Value";
    value.type = hm.type;
    setter.push_back(std::move(value));
    hm.read = addHostRoutine(cls.name() + u"." + hm.name, &m.fn, std::move(index), hm.type, true);
    if (m.write) hm.write = addHostRoutine(cls.name() + u"." + hm.name, &m.write, std::move(setter), nullptr, true);
  } else {
    bool ctor = isWord(u"constructor");
    bool isFunction = is(Tok::KwFunction);
    if (ctor != (m.kind == HostClass::MemberKind::Constructor) || (!ctor && !isFunction && !is(Tok::KwProcedure))) {
      errorExpected(m.kind == HostClass::MemberKind::Constructor ? u"constructor" : u"procedure");
      return;
    }
    advance();
    std::vector<Param> params;
    const Type* result = nullptr;
    routineHeader(isFunction, hm.name, params, result);
    accept(Tok::Semicolon);
    while (is(Tok::Ident) && routineDirective(tok_.key)) {
      advance();
      accept(Tok::Semicolon);
    }
    hm.read = addHostRoutine(cls.name() + u"." + hm.name, &m.fn, std::move(params), result, true);
  }
  ClassMembers& cm = members_[&cls];
  int index = static_cast<int>(prog_.hostMembers.size());
  if (!cm.byName.emplace(foldName(hm.name), index).second)
    diag_.error(p, u"Member '" + hm.name + u"' of '" + cls.name() + u"' is declared twice");
  if (hm.isDefault) cm.defaultProperty = index;
  prog_.hostMembers.push_back(std::move(hm));
}

// The member of class c (or of its ancestors, nearest first) named key, or its default
// property.
const HostMember* Parser::findMember(const vm::ClassInfo* c, const std::u16string& key, bool wantDefault) {
  for (; c; c = c->parent) {
    auto it = c->host ? members_.find(c->host) : members_.end();
    if (it == members_.end()) continue;
    int k = -1;
    if (wantDefault) {
      k = it->second.defaultProperty;
    } else if (auto m = it->second.byName.find(key); m != it->second.byName.end()) {
      k = m->second;
    }
    if (k >= 0) return &prog_.hostMembers[k];
  }
  return nullptr;
}

// The arguments of a call, converted to its parameters' types (addresses for var
// parameters); omitted trailing arguments take their default values.
void Parser::bindArguments(Expr& call, std::vector<ExprPtr> args, const std::vector<Param>& params,
                           const std::u16string& name, Pos p) {
  while (args.size() < params.size() && params[args.size()].hasDefault) {
    const Param& prm = params[args.size()];
    args.push_back(check_.constant(p, prm.type, prm.defaultValue));
  }
  if (args.size() != params.size()) {
    diag_.error(p, u"Wrong number of parameters for '" + name + u"' (" +
                       num(static_cast<long long>(params.size())) + u" expected)");
    return;
  }
  for (size_t k = 0; k < args.size(); ++k) {
    const Param& prm = params[k];
    if (prm.byRef()) {
      ExprPtr a = lvalue(std::move(args[k]), u"var parameter");
      if (a->kind == EK::Index && a->a->type->isString())
        diag_.error(a->pos, u"Variable required (var parameter)");
      if (!check_.sameType(a->type, prm.type))
        diag_.error(a->pos, u"Types of actual and formal var parameters must be identical");
      call.args.push_back(std::move(a));
      call.byRef.push_back(1);
    } else {
      call.args.push_back(check_.convert(std::move(args[k]), prm.type));
      call.byRef.push_back(0);
    }
  }
}

// obj.Member: a method call, or a property (with its index when it has one; the "["
// is already taken for a default property).
ExprPtr Parser::memberAccess(ExprPtr obj, const HostMember& m, Pos p, bool bracketTaken) {
  const HostSignature& sig = prog_.hostRoutines[m.read];
  if (m.kind == HostClass::MemberKind::Constructor) {
    diag_.error(p, u"A constructor is called on its class: " + typeName(obj->type) + u"." + m.name);
    arguments();
    return errorExpr(p);
  }
  if (m.kind == HostClass::MemberKind::Method) {
    std::vector<ExprPtr> args = arguments();
    auto e = std::make_unique<Expr>(EK::HostCall, p);
    e->index = m.read;
    e->type = sig.result ? sig.result : types_.voidT;
    e->args.push_back(std::move(obj));
    e->byRef.push_back(0);
    bindArguments(*e, std::move(args), sig.params, m.name, p);
    return e;
  }
  auto e = std::make_unique<Expr>(EK::Property, p);
  e->type = m.type;
  e->slot = m.read;
  e->index = m.write;
  e->args.push_back(std::move(obj));
  e->byRef.push_back(0);
  if (m.indexCount > 0) {
    if (!bracketTaken && !accept(Tok::LBracket)) {
      errorExpected(u"[");
      return errorExpr(p);
    }
    std::vector<ExprPtr> index;
    do index.push_back(expression());
    while (accept(Tok::Comma));
    expect(Tok::RBracket);
    bindArguments(*e, std::move(index), sig.params, m.name, p);
  }
  return e;
}

// TClass.Create(...) of a host class: a new object, then its constructor.
ExprPtr Parser::hostConstructor(const Type* cls, const std::u16string& key, Pos p, bool& handled) {
  handled = false;
  if (!cls->cls || !cls->cls->host) return nullptr;
  const HostMember* m = findMember(cls->cls, key, false);
  if (!(m && m->kind == HostClass::MemberKind::Constructor) && key != u"create") return nullptr;
  handled = true;
  std::vector<ExprPtr> args = arguments();
  auto e = std::make_unique<Expr>(EK::HostNew, p);
  e->type = cls;
  e->cls = cls->cls;
  e->index = -1;
  if (!cls->cls->host->factory())
    diag_.error(p, u"Cannot create an instance of the abstract class '" + typeName(cls) + u"'");
  if (m && m->kind == HostClass::MemberKind::Constructor) {
    e->index = m->read;
    bindArguments(*e, std::move(args), prog_.hostRoutines[m->read].params, m->name, p);
  } else if (!args.empty()) {
    diag_.error(p, u"Wrong number of parameters for 'Create' (0 expected)");
  }
  return e;
}

// The scope of "with Object do": the members of its class and its ancestors (the
// nearest declaration of a name wins), Free and ClassName.
void Parser::pushObjectWith(const Type* cls, int slot) {
  scopes_.push(nullptr, true);
  std::unordered_map<std::u16string, Symbol> names;
  auto add = [&](const std::u16string& key, int member) {
    if (names.count(key)) return;
    Symbol s;
    s.kind = SymKind::WithMember;
    s.recordType = cls;
    s.slot = slot;
    s.level = cur_->level;
    s.field = member;
    s.used = true;
    names.emplace(key, s);
  };
  for (const vm::ClassInfo* c = cls->cls; c; c = c->parent) {
    auto it = c->host ? members_.find(c->host) : members_.end();
    if (it == members_.end()) continue;
    for (const auto& [key, k] : it->second.byName) add(key, k);
  }
  add(u"free", -1);
  add(u"classname", -1);
  for (auto& [key, s] : names) scopes_.declareQuiet(key, s);
}

// "procedure(params) [of object]" | "function(params): Type [of object]"
const Type* Parser::proceduralType(std::u16string name) {
  bool isFunction = is(Tok::KwFunction);
  advance();
  std::vector<Param> params;
  paramList(params);
  Type* t = types_.make(TypeKind::Proc, std::move(name));
  if (isFunction) {
    expect(Tok::Colon);
    t->element = typeIdentifier();
  }
  if (accept(Tok::KwOf)) {
    if (!isWord(u"object")) errorExpected(u"object");
    else advance();
  }
  for (const Param& prm : params) {
    t->fields.push_back(Field{prm.name, prm.type});
    t->paramModes.push_back(static_cast<uint8_t>(prm.mode));
  }
  return t;
}

// The value assigned to a procedural variable or property: nil, a routine ([@]Name) of
// the same signature, or another value of the type.
ExprPtr Parser::procedureValue(const Type* t) {
  Pos p = tok_.pos;
  if (accept(Tok::KwNil)) return check_.constant(p, t, Value::integer(-1));
  bool at = accept(Tok::At);
  if (is(Tok::Ident)) {
    Symbol* s = scopes_.find(tok_.key);
    if (s && s->kind == SymKind::Routine) {
      advance();
      s->used = true;
      Routine* r = s->routine;
      bool same = r->params.size() == t->fields.size() && (r->result == nullptr) == (t->element == nullptr) &&
                  (!r->result || check_.sameType(r->result, t->element));
      for (size_t k = 0; same && k < r->params.size(); ++k)
        same = check_.sameType(r->params[k].type, t->fields[k].type) &&
               r->params[k].byRef() == (t->paramModes[k] == static_cast<uint8_t>(ParamMode::Var) ||
                                        t->paramModes[k] == static_cast<uint8_t>(ParamMode::Out));
      if (!same) diag_.error(p, u"Incompatible types: '" + r->name + u"' and '" + typeName(t) + u"'");
      else if (r->level != 1 || r->host >= 0 || r->external >= 0)
        diag_.error(p, u"Only a routine of the script's top level can be assigned to '" + typeName(t) + u"'");
      return check_.constant(p, t, Value::integer(r->index));
    }
  }
  if (at) {
    errorExpected(u"procedure");
    return errorExpr(p);
  }
  return expression();
}

}  // namespace

bool parseProgram(std::u16string_view source, const Options& options, Diagnostics& diag,
                  const Engine::IncludeHandler& include, const Engine::DirectiveHandler& directive,
                  Engine::Program& prog, const Engine::Host* host) {
  Parser parser(source, options, diag, include, directive, prog, host);
  parser.program();
  return diag.errors == 0;
}

}  // namespace velmoro::script

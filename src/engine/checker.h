// Type rules of the language: implicit conversions, operator typing and constant
// folding, array/record/string selectors, standard-routine overload choice and casts.
// The parser calls these while it builds the tree; each returns a typed node (or an
// error node of type Integer after reporting the error).
#pragma once

#include "engine/ast.h"
#include "engine/diagnostics.h"
#include "engine/types.h"

#include <string_view>
#include <vector>

namespace velmoro::script {

class Checker {
 public:
  Checker(TypeTable& types, Diagnostics& diag) : types_(types), diag_(diag) {}

  ExprPtr constant(Pos p, const Type* t, vm::Value v);
  ExprPtr convert(ExprPtr e, const Type* to);      // implicit, with an error when impossible
  ExprPtr cast(ExprPtr e, const Type* to, Pos p);  // explicit T(x)
  ExprPtr retype(ExprPtr e, const Type* to);       // integer result narrowed to an ordinal
  ExprPtr ordinalValue(ExprPtr e);                 // an ordinal as Int64
  ExprPtr condition(ExprPtr e);
  ExprPtr binary(Oper op, ExprPtr a, ExprPtr b, Pos p);
  ExprPtr unary(Oper op, ExprPtr a, Pos p);
  ExprPtr index(ExprPtr base, ExprPtr idx, Pos p);
  ExprPtr field(ExprPtr base, const std::u16string& name, Pos p);
  ExprPtr isClass(ExprPtr e, const Type* t, Pos p);
  ExprPtr asClass(ExprPtr e, const Type* t, Pos p);
  ExprPtr classMethod(const Type* cls, const std::u16string& member, std::vector<ExprPtr> args, Pos p);
  ExprPtr objectMember(ExprPtr obj, const std::u16string& member, std::vector<ExprPtr> args, Pos p);
  ExprPtr finishConstructor(ExprPtr setCons);
  ExprPtr native(int index, std::u16string_view name, std::vector<ExprPtr> args, Pos p);
  ExprPtr nativeCall(std::u16string_view foldedName, ExprPtr arg, Pos p);
  ExprPtr magic(std::u16string_view key, std::vector<ExprPtr> args, Pos p);

  bool addressable(const Expr& e) const;
  ExprPtr cloneLvalue(const Expr& e);
  bool sameType(const Type* a, const Type* b) const;
  bool sameSignature(const std::vector<Param>& a, const Type* ra, const std::vector<Param>& b,
                     const Type* rb) const;
  bool writable(const Type* t) const;
  // Whether a value of type `from` can be assigned to `to` without an explicit cast.
  bool assignable(const Type* from, const Type* to, const Expr* e = nullptr) const;

 private:
  ExprPtr makeConvert(ExprPtr e, const Type* to);
  ExprPtr fold(ExprPtr e);
  ExprPtr error(Pos p, std::u16string text);
  ExprPtr toOpenArray(ExprPtr e, const Type* elementType);
  bool fits(char code, const Expr& arg, bool exact) const;
  const Type* typeOfCode(char code) const;

  TypeTable& types_;
  Diagnostics& diag_;
};

}  // namespace velmoro::script

// The draw script names the engine knows, and the class each selects. "se256" and
// "sef" select the same classes as "se". A name whose script is not built yet has no
// factory and ends the run like an unknown name.
#include "generator/draw_script.h"

#include "generator/draw_script_se.h"

namespace velmoro::draw {

namespace {

struct Entry {
  std::u16string_view name;
  DrawScriptFactory (*factory)();
};

DrawScriptFactory none() { return {}; }

template <typename T>
DrawScriptFactory make() {
  return [] { return std::make_unique<T>(); };
}

const Entry kScripts[] = {
    {u"se", make<TDrawScript_SE>},    {u"se_data", make<TDrawScript_SE_Data>},    {u"se2l", none},  {u"se2l_data", none},
    {u"sem", none},   {u"sem_data", none},   {u"sem2", none},  {u"sem2_data", none},
    {u"de", none},    {u"de_data", none},    {u"rr", none},    {u"rr_data", none},
    {u"se256", make<TDrawScript_SE>}, {u"se256_data", make<TDrawScript_SE_Data>},
    {u"sef", make<TDrawScript_SE>},   {u"sef_data", make<TDrawScript_SE_Data>},
};

}  // namespace

DrawScriptFactory findDrawScript(std::u16string_view name) {
  for (const auto& e : kScripts)
    if (e.name == name) return e.factory();
  return {};
}

}  // namespace velmoro::draw

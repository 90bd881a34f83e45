// The draw script names the engine knows, and the class each selects. "se256" and
// "sef" select the same classes as "se". A name whose script is not built yet has no
// factory and ends the run like an unknown name.
#include "generator/draw_script.h"

namespace velmoro::draw {

namespace {

struct Entry {
  std::u16string_view name;
  DrawScriptFactory (*factory)();
};

DrawScriptFactory none() { return {}; }

const Entry kScripts[] = {
    {u"se", none},    {u"se_data", none},    {u"se2l", none},  {u"se2l_data", none},
    {u"sem", none},   {u"sem_data", none},   {u"sem2", none},  {u"sem2_data", none},
    {u"de", none},    {u"de_data", none},    {u"rr", none},    {u"rr_data", none},
    {u"se256", none}, {u"se256_data", none}, {u"sef", none},   {u"sef_data", none},
};

}  // namespace

DrawScriptFactory findDrawScript(std::u16string_view name) {
  for (const auto& e : kScripts)
    if (e.name == name) return e.factory();
  return {};
}

}  // namespace velmoro::draw

# The fuzz targets: name, source, library. Shared by the fuzz build and the replay tests.
set(VELMORO_FUZZ_TARGETS
  "text|fuzz_text.cpp|velmoro_common"
  "version_info|fuzz_version_info.cpp|velmoro_common"
  "resources|fuzz_resources.cpp|velmoro_platform"
  "schedule|fuzz_schedule.cpp|vlgn_core"
  "emf|fuzz_emf.cpp|velmoro_platform"
  "compiler|fuzz_compiler.cpp|velmoro_engine"
  "render|fuzz_render.cpp|velmoro_pdf")

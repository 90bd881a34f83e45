# Helpers shared by the subsystem folders.

set(VELMORO_PRODUCT_NAME "Velmoro")
set(VELMORO_COMPANY_NAME "Velmoro")
set(VELMORO_COPYRIGHT "(c) 2026 Velmoro")

# velmoro_shared_library(NAME EXPORTS file.map SOURCES ...)
# A shared library that exports only what its linker version script lists:
# -fvisibility=hidden alone still exports instantiated standard-library templates.
function(velmoro_shared_library name map)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${map})
  target_link_options(${name} PRIVATE -Wl,--version-script=${map} -Wl,--no-undefined)
  install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endfunction()

# velmoro_attach_version(TARGET DESCRIPTION)
# Last step of linking a program: append the resource archive with its version block.
# Re-running the step replaces the archive that is already there.
function(velmoro_attach_version target description)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND velmoro-resources attach-version $<TARGET_FILE:${target}>
      "CompanyName=${VELMORO_COMPANY_NAME}"
      "ProductName=${VELMORO_PRODUCT_NAME}"
      "ProductVersion=${PROJECT_VERSION}"
      "FileVersion=${PROJECT_VERSION}"
      "FileDescription=${description}"
      "LegalCopyright=${VELMORO_COPYRIGHT}"
    VERBATIM)
endfunction()

# tolvane_embed_resources(TARGET SYMBOL MODULE_NAME
#                         RESOURCES NAME TYPE FILE [NAME TYPE FILE ...])
#
# Compiles the files into TARGET as a vcl::TResourceModule named SYMBOL (in
# the global namespace), which the module registers with
# vcl::RegisterResourceModule. Types are "FORM" (a stored form as text) or
# "BITMAP" (a BMP file).
function(tolvane_embed_resources target symbol module)
  cmake_parse_arguments(ARG "" "" "RESOURCES" ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${symbol}.cpp)
  set(files)
  set(entries)
  list(LENGTH ARG_RESOURCES n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET ARG_RESOURCES ${i} name)
    list(GET ARG_RESOURCES ${j} type)
    list(GET ARG_RESOURCES ${k} file)
    get_filename_component(file ${file} ABSOLUTE)
    list(APPEND files ${file})
    list(APPEND entries "${name}|${type}|${file}")
  endforeach()
  string(REPLACE ";" "," entries_arg "${entries}")
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DSYMBOL=${symbol} -DMODULE=${module}
            "-DENTRIES=${entries_arg}" -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake
    COMMENT "Embedding resources ${symbol}" VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()

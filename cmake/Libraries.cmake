# mugrove_library(name SOURCES ... [HEADERS ...] [PUBLIC ...] [PRIVATE ...])
#
# One of the program's libraries, made in the folder that holds its sources.
# Its headers are included from the top of the tree ("controls/PicBox.h"),
# but through an include root of its own in the build tree that holds only
# this library's headers. A library therefore sees the headers of the
# libraries it links and of no other: the link graph is the include graph.
# HEADERS defaults to every header of the folder; PUBLIC and PRIVATE are the
# libraries linked.
function(mugrove_library name)
  cmake_parse_arguments(L "" "" "SOURCES;HEADERS;PUBLIC;PRIVATE" ${ARGN})
  if(NOT L_HEADERS)
    file(GLOB L_HEADERS CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
      ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  endif()
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header IN LISTS L_HEADERS)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${root}/${folder}/${header} SYMBOLIC)
  endforeach()

  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  mugrove_warnings(${name})
endfunction()

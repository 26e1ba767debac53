# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Headers are included by their path in the tree ("link/protocol.h"), but a
# target reaches only the headers of the targets it links: each target has an
# include folder of its own in the build tree, holding a link to each header of
# its source list at that path, and nothing else. A library hands its folder
# on to whoever links it; an executable keeps it to itself.
set(KESTRUM_INCLUDE_ROOT ${PROJECT_BINARY_DIR}/include)

# kestrum_include_folder(TARGET): gives TARGET its include folder.
function(kestrum_include_folder target)
  get_target_property(type ${target} TYPE)
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(folder ${KESTRUM_INCLUDE_ROOT}/${target})
  # Made anew at every configure, so that a header taken out of a list is gone.
  file(REMOVE_RECURSE ${folder})
  file(MAKE_DIRECTORY ${folder})
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.h$")
      continue()
    endif()
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} NORMALIZE OUTPUT_VARIABLE header)
    cmake_path(RELATIVE_PATH header BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE place)
    cmake_path(GET place PARENT_PATH parent)
    file(MAKE_DIRECTORY ${folder}/${parent})
    file(CREATE_LINK ${header} ${folder}/${place} SYMBOLIC)
  endforeach()
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${folder})
  elseif(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${folder})
  else()
    target_include_directories(${target} PUBLIC ${folder})
  endif()
endfunction()

# Shared settings and helpers for the project's own targets.

if(WIN32)
  # One self-contained .exe per program, byte-for-byte reproducible.
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(SE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for code we own (not for third-party code such as GoogleTest).
function(se_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${SE_WERROR}>:-Werror>)
endfunction()

# se_library(name SOURCES ... [LIBS ...]): a static library of the project.
function(se_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  se_defaults(${name})
endfunction()

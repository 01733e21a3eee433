# Every target of the project builds with these warnings; third-party headers are system headers.
add_library(corvel_warnings INTERFACE)
target_compile_options(corvel_warnings INTERFACE
  -Wall -Wextra -Wshadow=local -Wnon-virtual-dtor -Wformat=2 -Wformat-security
  -Wimplicit-fallthrough)

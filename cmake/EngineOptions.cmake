# Compiler settings shared by every target of the project.
option(ENGINE_BUILD_TESTS "Build the tests" ON)
option(ENGINE_SANITIZE "Native build: AddressSanitizer and UBSan" OFF)

set(ENGINE_WARNINGS -Wall -Wextra -Werror)

if(WIN32)
  # 32-bit float steps must be single precision; Windows and clients may call
  # in with a 4-byte aligned stack.
  set(ENGINE_ARCH_FLAGS -msse2 -mfpmath=sse -mstackrealign)
  add_compile_options(${ENGINE_ARCH_FLAGS})
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Runtimes linked in: the DLL and the test programs depend on system DLLs only.
  add_link_options(-static -static-libgcc -static-libstdc++)
elseif(ENGINE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

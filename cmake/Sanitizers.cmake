# Sanitizers apply to every target of the build tree, JUCE included, so that nothing mixes
# instrumented and plain code.
if(VISTREL_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(VISTREL_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT VISTREL_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VISTREL_SANITIZE must be empty, 'address' or 'thread'")
endif()

# libFuzzer builds instrument everything for coverage; only the fuzz binaries link the driver.
if(VISTREL_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

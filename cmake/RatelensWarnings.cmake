# SPDX-License-Identifier: GPL-3.0-or-later
# Every target of the project links ratelens_options: warnings, toolkit defines
# and the optional sanitizers live here rather than in global flags.
add_library(ratelens_options INTERFACE)
target_compile_options(ratelens_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(RATELENS_WERROR)
    target_compile_options(ratelens_options INTERFACE -Werror)
endif()
target_compile_definitions(ratelens_options INTERFACE
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00
    QT_NO_CAST_TO_ASCII)
if(RATELENS_SANITIZE)
    target_compile_options(ratelens_options INTERFACE
        -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    target_link_options(ratelens_options INTERFACE -fsanitize=address,undefined,float-cast-overflow)
endif()

# Installs the build into a scratch prefix and checks that a Linux desktop finds Prismor there:
# the executable, its desktop entry, and its icon in each pixel size of the hicolor folders.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -DBINDIR=... -DDATADIR=... -P window_install_check.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed with status ${status}")
endif()

if(NOT EXISTS "${PREFIX}/${BINDIR}/Prismor")
    message(FATAL_ERROR "Prismor was not installed into ${BINDIR}")
endif()

set(entry "${PREFIX}/${DATADIR}/applications/prismor.desktop")
if(NOT EXISTS "${entry}")
    message(FATAL_ERROR "the desktop entry was not installed")
endif()
file(STRINGS "${entry}" lines)
foreach(expected "[Desktop Entry]" "Type=Application" "Name=Prismor" "Exec=Prismor"
                 "Icon=prismor")
    if(NOT expected IN_LIST lines)
        message(FATAL_ERROR "the desktop entry lacks the line ${expected}")
    endif()
endforeach()

foreach(side 16 32 48 64 128 256)
    set(icon "${PREFIX}/${DATADIR}/icons/hicolor/${side}x${side}/apps/prismor.png")
    if(NOT EXISTS "${icon}")
        message(FATAL_ERROR "the ${side} pixel icon was not installed")
    endif()
    # A PNG's width and height are the two big-endian words after its signature and IHDR.
    file(READ "${icon}" size OFFSET 16 LIMIT 8 HEX)
    math(EXPR hex_side "${side}" OUTPUT_FORMAT HEXADECIMAL) # 0x10, 0x100
    string(REPLACE "0x" "" hex_side "${hex_side}")
    string(LENGTH "${hex_side}" digits)
    math(EXPR padding "8 - ${digits}")
    string(REPEAT "0" ${padding} zeros)
    set(hex_side "${zeros}${hex_side}")
    if(NOT size STREQUAL "${hex_side}${hex_side}")
        message(FATAL_ERROR "the icon in ${side}x${side} is ${size} (hex width and height)")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")

# Precompiled headers: the Qt, standard library and GoogleTest headers that nearly every file pulls
# in are parsed once per kind of target instead of once per file, which is most of a cold build.
#
# GCC accepts a precompiled header only when it was made with the same code-model flags as the file
# that uses it, so there are three donors: static libraries (-fPIC), programs (-fPIE) and
# GoogleTest programs (-fPIE with the test framework). Every other target reuses its donor's header.
# GCC also rejects a header made with a macro the user does not define, so the donors see the Gui,
# Widgets and Network headers but not those modules' QT_*_LIB macros (only QtCore's, which every
# target has). -Winvalid-pch with -Werror turns a rejected header into a build error instead of a
# silent slow path.

# The sanitizer presets (asan, fuzz) build without it: UBSan's type checks make every file reference
# the type information of the header's classes, Widgets ones included, also in targets without Widgets.
option(VEXA_PCH "Use precompiled headers" ON)

set(VEXA_PCH_COMMON
    <algorithm> <array> <atomic> <chrono> <cstdint> <cstring> <functional> <map> <memory> <mutex>
    <optional> <set> <string> <string_view> <thread> <utility> <vector>
    <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash>
    <QObject> <QPointer> <QRegularExpression> <QString> <QStringList> <QThread> <QTimer> <QUrl>
    <QApplication> <QImage> <QLabel> <QLineEdit> <QPainter> <QPushButton> <QWidget>)
set(VEXA_PCH_TEST ${VEXA_PCH_COMMON} <QTemporaryDir> <gtest/gtest.h> <gmock/gmock.h>)

function(_vexa_pch_donors)
    set(dir "${CMAKE_BINARY_DIR}/pch")
    file(WRITE "${dir}/donor.cpp.in" "// Only here to carry a precompiled header.\n")
    configure_file("${dir}/donor.cpp.in" "${dir}/donor.cpp" COPYONLY)
    file(WRITE "${dir}/donor_main.cpp.in" "int main() { return 0; }\n")
    configure_file("${dir}/donor_main.cpp.in" "${dir}/donor_main.cpp" COPYONLY)

    set(qt_headers
        $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>
        $<TARGET_PROPERTY:Qt6::Network,INTERFACE_INCLUDE_DIRECTORIES>)

    add_library(vexa_pch_lib STATIC "${dir}/donor.cpp")
    add_executable(vexa_pch_exe "${dir}/donor_main.cpp")
    set(donors vexa_pch_lib vexa_pch_exe)
    if(TARGET GTest::gtest)
        add_executable(vexa_pch_test "${dir}/donor_main.cpp")
        target_link_libraries(vexa_pch_test PRIVATE GTest::gtest GTest::gmock)
        list(APPEND donors vexa_pch_test)
    endif()
    foreach(donor IN LISTS donors)
        target_link_libraries(${donor} PRIVATE Qt6::Core)
        target_include_directories(${donor} SYSTEM PRIVATE ${qt_headers})
        set_target_properties(${donor} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${dir}")
    endforeach()
    target_precompile_headers(vexa_pch_lib PRIVATE ${VEXA_PCH_COMMON})
    target_precompile_headers(vexa_pch_exe PRIVATE ${VEXA_PCH_COMMON})
    if(TARGET vexa_pch_test)
        target_precompile_headers(vexa_pch_test PRIVATE ${VEXA_PCH_TEST})
    endif()
endfunction()

function(_vexa_pch_targets_in dir out)
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
        _vexa_pch_targets_in("${sub}" more)
        list(APPEND targets ${more})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# True when the target is a GoogleTest program (directly or through the test support library).
function(_vexa_pch_is_gtest target out)
    get_target_property(libs ${target} LINK_LIBRARIES)
    set(result OFF)
    if(libs AND ("GTest::gtest" IN_LIST libs OR "vexa_test_support" IN_LIST libs))
        set(result ON)
    endif()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# Call once, after every target exists.
function(vexa_use_precompiled_headers)
    if(NOT VEXA_PCH)
        return()
    endif()
    _vexa_pch_donors()
    _vexa_pch_targets_in("${PROJECT_SOURCE_DIR}" targets)
    foreach(target IN LISTS targets)
        # The table generator runs at build time and uses no Qt.
        if(target MATCHES "^vexa_pch_" OR target STREQUAL "pinyin_table_gen")
            continue()
        endif()
        get_target_property(type ${target} TYPE)
        get_target_property(sources ${target} SOURCES)
        if(NOT sources)
            continue()
        endif()
        if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
            target_precompile_headers(${target} REUSE_FROM vexa_pch_lib)
        elseif(type STREQUAL "EXECUTABLE")
            _vexa_pch_is_gtest(${target} gtest)
            if(gtest AND TARGET vexa_pch_test)
                target_precompile_headers(${target} REUSE_FROM vexa_pch_test)
            else()
                target_precompile_headers(${target} REUSE_FROM vexa_pch_exe)
            endif()
        endif()
    endforeach()
endfunction()

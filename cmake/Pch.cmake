# Precompiled Qt and standard headers. Nearly every source parses the same Qt
# headers again, and that parsing is most of a clean build. Two small targets
# compile them once, one with Qt Core only and one with the widgets; every
# library and test reuses the one that matches what it may use, so a room of
# Qt Core only still sees no widget. All targets share the compiler flags
# (-g -fPIC -std=c++20 and the warnings), as reuse needs; the Qt modules' own
# definitions do not appear in the headers.
#
# A compiler launcher such as ccache cannot cache what includes a
# precompiled header, and already makes repeated builds quick: with one set,
# the default is off.
if(CMAKE_CXX_COMPILER_LAUNCHER)
    set(tavenro_pch_default OFF)
else()
    set(tavenro_pch_default ON)
endif()
option(TAVENRO_PCH "Precompile the Qt headers every target shares" ${tavenro_pch_default})

set(TAVENRO_PCH_CORE
    <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QObject>
    <QSaveFile> <QString> <QStringList> <QTemporaryDir> <QVariant>
    <algorithm> <chrono> <functional> <memory> <optional> <string> <vector>)
set(TAVENRO_PCH_WIDGETS ${TAVENRO_PCH_CORE}
    <QApplication> <QComboBox> <QDialog> <QLabel> <QLineEdit> <QMainWindow> <QMessageBox>
    <QPlainTextEdit> <QPushButton> <QTableView> <QWidget>)

if(TAVENRO_PCH)
    foreach(kind core widgets)
        add_library(tavenro_pch_${kind} STATIC ${CMAKE_CURRENT_LIST_DIR}/pch.cpp)
        string(TOUPPER ${kind} upper)
        target_precompile_headers(tavenro_pch_${kind} PRIVATE ${TAVENRO_PCH_${upper}})
    endforeach()
    target_link_libraries(tavenro_pch_core PRIVATE Qt6::Core)
    target_link_libraries(tavenro_pch_widgets PRIVATE Qt6::Widgets)
endif()

# tavenro_use_pch(TARGET core|widgets): TARGET reuses the precompiled headers
# of that kind.
function(tavenro_use_pch target kind)
    if(TAVENRO_PCH)
        set_target_properties(${target} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM
                                                   tavenro_pch_${kind})
    endif()
endfunction()

# The Qt the target links through the project's own libraries: "widgets",
# "core", or nothing.
function(tavenro_qt_kind target out)
    set(kind "")
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(libraries ${target} ${property})
        if(NOT libraries)
            continue()
        endif()
        foreach(library IN LISTS libraries)
            set(below "")
            if(library STREQUAL "Qt6::Widgets")
                set(below widgets)
            elseif(library STREQUAL "Qt6::Core")
                set(below core)
            elseif(TARGET ${library} AND NOT library MATCHES "::")
                tavenro_qt_kind(${library} below)
            endif()
            if(below STREQUAL "widgets")
                set(kind widgets)
                break()
            elseif(below STREQUAL "core")
                set(kind core)
            endif()
        endforeach()
        if(kind STREQUAL "widgets")
            break()
        endif()
    endforeach()
    set(${out} ${kind} PARENT_SCOPE)
endfunction()

# Every C++ library and program under dir that links Qt reuses the
# precompiled headers: the widgets' where it links them, else Qt Core's.
function(tavenro_use_pch_below dir)
    if(NOT TAVENRO_PCH)
        return()
    endif()
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$" OR target MATCHES "^tavenro_pch_")
            continue()
        endif()
        tavenro_qt_kind(${target} kind)
        if(kind)
            tavenro_use_pch(${target} ${kind})
        endif()
    endforeach()
    get_property(subdirectories DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdirectory IN LISTS subdirectories)
        tavenro_use_pch_below(${subdirectory})
    endforeach()
endfunction()

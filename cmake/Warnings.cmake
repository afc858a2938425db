# One interface target carries the warning flags, the sanitizer switches and the Qt safety
# defines; every target of the project links it.
add_library(vantorel_options INTERFACE)
target_compile_options(vantorel_options INTERFACE -Wall -Wextra -Wshadow)
if(VANTOREL_WERROR)
  target_compile_options(vantorel_options INTERFACE -Werror)
endif()
target_compile_definitions(vantorel_options INTERFACE
  QT_NO_URL_CAST_FROM_STRING
  QT_DISABLE_DEPRECATED_BEFORE=0x060000)
if(VANTOREL_SANITIZE)
  target_compile_options(vantorel_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vantorel_options INTERFACE -fsanitize=address,undefined)
endif()

# Fails the build when a headless layer includes a widget header.
function(vantorel_forbid_widgets target)
  get_target_property(_srcs ${target} SOURCES)
  get_target_property(_dir ${target} SOURCE_DIR)
  foreach(_s IN LISTS _srcs)
    if(EXISTS "${_dir}/${_s}")
      file(READ "${_dir}/${_s}" _text)
      if(_text MATCHES "#include <Qt(Widgets|Widgets/[A-Za-z]+)>|#include <Q(Widget|MainWindow|Dialog|MessageBox|Application|PushButton|Label)>")
        message(FATAL_ERROR "${target}: ${_s} includes a widget header; this layer must stay headless")
      endif()
    endif()
  endforeach()
endfunction()

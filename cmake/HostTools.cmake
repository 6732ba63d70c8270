# Programs that draw resources during a cross build (the saver's icon and sample movie) must run
# on the build machine: a cross build builds them in a native build of this project of its own,
# the target host_tools.

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(host ${PROJECT_BINARY_DIR}/host-tools)
  set(LUMEN_MAKE_SAMPLE ${host}/tools/make_sample)
  set(LUMEN_MAKE_SAVER_ICON ${host}/screensaver/make_saver_icon)
  ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${host}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DLUMEN_WERROR=${LUMEN_WERROR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target make_sample make_saver_icon
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${LUMEN_MAKE_SAMPLE} ${LUMEN_MAKE_SAVER_ICON})
endif()

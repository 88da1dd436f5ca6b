# find_package(tarvoscn): the imported target tarvoscn::tarvoscn, the driver
# library with its public headers (#include <tarvoscn.h>).
include("${CMAKE_CURRENT_LIST_DIR}/tarvoscnTargets.cmake")

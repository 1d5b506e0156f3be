# The handset build, configured on Linux for scripts/handset-check.sh: the
# WindowsCE branch of CMakeLists.txt, with Debian's i686 mingw-w64 compiler
# standing in for the handset's. Like the handset's compiler it builds
# 32-bit Windows code, so types and structures have the handset's sizes.
set(CMAKE_SYSTEM_NAME WindowsCE)
set(CMAKE_SYSTEM_VERSION 4.20)

set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)

get_filename_component(VELMORA_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# No header of the cross compiler is in reach, neither its C library's nor
# its Windows API's: only the handset's declarations in platform/wince/sdk/.
# So a desktop Windows header cannot be reached at all.
set(CMAKE_CXX_FLAGS_INIT "-nostdinc -I ${VELMORA_ROOT}/platform/wince/sdk")
set(CMAKE_RC_FLAGS_INIT "--preprocessor-arg=-nostdinc -I ${VELMORA_ROOT}/platform/wince/sdk")
set(CMAKE_RC_COMPILE_OBJECT
    "<CMAKE_RC_COMPILER> -O coff <DEFINES> <INCLUDES> <FLAGS> <SOURCE> <OBJECT>")

# The link step first checks that every symbol the objects leave undefined
# is exported by a module the program links (exports.txt), then links a
# Windows CE image against import libraries made from that list alone
# (scripts/handset-link.sh). The handset links coredll.dll by default, as
# CMake's rules for Microsoft's compiler do for Windows CE.
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "coredll.lib")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_CXX_LINK_EXECUTABLE
    "bash ${VELMORA_ROOT}/scripts/handset-link.sh <TARGET> <OBJECTS> <LINK_LIBRARIES>")

# cmake -DIMAGE=<image> -DOUTPUT=<file> -P web_memory.cmake
#
# Writes the link option that starts a web terminal's memory at twice the
# image (as linked and as unpacked) plus 16 MiB for the stack and the working
# buffers, in whole 64 KiB pages. Memory grows from there if it must.
file(SIZE "${IMAGE}" image_bytes)
math(EXPR pages "(${image_bytes} * 2 + 16 * 1048576 + 65535) / 65536")
# A WebAssembly page's memory ends at 2 GiB here.
if(pages GREATER 32768)
  message(FATAL_ERROR "${IMAGE} is ${image_bytes} bytes: too big for a browser page, which holds the "
                      "image and its unpacked tree in at most 2 GiB")
endif()
math(EXPR bytes "${pages} * 65536")
file(WRITE "${OUTPUT}" "-sINITIAL_MEMORY=${bytes}\n")

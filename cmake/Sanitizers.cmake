# -DVELORA_SANITIZE=address,undefined builds everything with those sanitizers.
set(VELORA_SANITIZE "" CACHE STRING "Comma-separated list of sanitizers (address,undefined)")
if(VELORA_SANITIZE)
  add_compile_options(-fsanitize=${VELORA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VELORA_SANITIZE})
endif()

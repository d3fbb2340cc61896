# The content key and IV (KestivSettings) as the generated source compiles
# them: masked, so that neither is stored whole in what is shipped.
# Masks differ from build to build: they come from a hash of the pair itself.
string(SHA256 _kestiv_mask_source "mask:${KESTIV_KEY}:${KESTIV_IV}")

function(_kestiv_masked hex mask_offset out_plain out_masked out_mask)
  set(plain "")
  set(masked "")
  set(masks "")
  foreach(i RANGE 0 15)
    math(EXPR at "${i} * 2")
    math(EXPR mask_at "(${i} + ${mask_offset}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    string(SUBSTRING "${_kestiv_mask_source}" ${mask_at} 2 mask)
    math(EXPR value "0x${byte} ^ 0x${mask}" OUTPUT_FORMAT HEXADECIMAL)
    list(APPEND plain "0x${byte}")
    list(APPEND masked "${value}")
    list(APPEND masks "0x${mask}")
  endforeach()
  list(JOIN plain ", " plain)
  list(JOIN masked ", " masked)
  list(JOIN masks ", " masks)
  set(${out_plain} "${plain}" PARENT_SCOPE)
  set(${out_masked} "${masked}" PARENT_SCOPE)
  set(${out_mask} "${masks}" PARENT_SCOPE)
endfunction()

# The bytes as they are serve only the test that shows the key scan can find them.
_kestiv_masked("${KESTIV_KEY}" 0 KESTIV_KEY_BYTES KESTIV_MASKED_KEY KESTIV_KEY_MASK)
_kestiv_masked("${KESTIV_IV}" 16 KESTIV_IV_BYTES KESTIV_MASKED_IV KESTIV_IV_MASK)

// CC_ASMDIR: the two address directories of xmem functions and the translations through them.
// The pairs are recorded when the root entry stub of an xmem function is written (on either
// target: the Z180's stubs enter the function through the universal bouncer); the directories
// live for the whole run.
#include "CC_ASMDIR.h"

#include "CC_ASMTAB.h"
#include "linker/EMITCACHE.h"

namespace {

// Root addresses compare by their 16-bit offset, xmem addresses by all 24 bits.
bool address_equal(uint32_t a, uint32_t b)
{
    if ((a & 0xFFFF) >= asm_target().xmem_window_start)
        return (a & 0xFFFFFF) == (b & 0xFFFFFF);
    return (a & 0xFFFF) == (b & 0xFFFF);
}

}  // namespace

NamedObjectTable<EmitCache> &emit_cache_table()
{
    static NamedObjectTable<EmitCache> t(31);
    return t;
}

CCAddrDirectory<uint32_t> &root_address_directory()
{
    static CCAddrDirectory<uint32_t> d;
    return d;
}

CCAddrDirectory<uint32_t> &xmem_address_directory()
{
    static CCAddrDirectory<uint32_t> d;
    return d;
}

void record_xmem_stub(uint32_t root_address, uint32_t xmem_address)
{
    root_address_directory().add(root_address, xmem_address);
    xmem_address_directory().add(xmem_address, root_address);
}

uint32_t translate_root_address(uint32_t address)
{
    if ((address & 0xFFFF) >= asm_target().xmem_window_start)
        return address;
    return root_address_directory().lookup(address, address_equal);
}

uint32_t translate_xmem_address(uint32_t address)
{
    if ((address & 0xFFFF) < asm_target().xmem_window_start)
        return address;
    return xmem_address_directory().lookup(address, address_equal);
}

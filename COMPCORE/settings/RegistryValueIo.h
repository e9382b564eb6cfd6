// RegistryValueIo: one direction of a walk over settings values. The same walk reads each value
// into its field (load) or writes it from the field (save), so a key whose load and save orders
// agree is written down once. The settings tree and the print setup build their own walks on it.
#pragma once

#include <cstdint>
#include <string>

#include "guiEnvironment.h"

class RegistryValueIo {
public:
    RegistryValueIo(TKXRegistry &reg, bool saving) : m_reg(reg), m_saving(saving) {}
    bool saving() const { return m_saving; }
    TKXRegistry &reg() { return m_reg; }
    void close() { m_reg.close_key(); }

    void boolean(const char *name, bool &field)
    {
        if (m_saving)
            WriteRegBool(m_reg, name, field);
        else
            field = ReadRegBool(m_reg, name, field);
    }
    void integer(const char *name, int32_t &field)
    {
        if (m_saving)
            WriteRegInteger(m_reg, name, field);
        else
            field = ReadRegInteger(m_reg, name, field);
    }
    void text(const char *name, std::string &field)
    {
        if (m_saving)
            WriteRegString(m_reg, name, field);
        else
            field = ReadRegString(m_reg, name, field);
    }

protected:
    TKXRegistry &m_reg;
    bool m_saving;
};

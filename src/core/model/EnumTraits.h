#pragma once

#include <QString>

#include <optional>

namespace halvora {

// Each enumeration of the model specialises EnumTraits with `allCases` (declaration
// order) and `rawValue(E)`; these helpers then give the shared operations.
template <typename E> struct EnumTraits;

template <typename E> constexpr const auto &allCases()
{
    return EnumTraits<E>::allCases;
}

template <typename E> QString rawValue(E value)
{
    return EnumTraits<E>::rawValue(value);
}

// Accepts exactly the raw values, case-sensitive.
template <typename E> std::optional<E> fromRawValue(QStringView raw)
{
    for (E value : EnumTraits<E>::allCases) {
        if (EnumTraits<E>::rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

} // namespace halvora

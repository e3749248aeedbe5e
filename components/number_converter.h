#pragma once

#include <QVariant>

#include <memory>

namespace Norlix {

class ConverterObject
{
public:
    virtual ~ConverterObject() = default;
    // Never NaN or infinite; text that holds no number gives 0.
    [[nodiscard]] virtual double ToNumber(const QVariant &value) = 0;
};

class NumberConverterComponent
{
public:
    virtual ~NumberConverterComponent() = default;
    [[nodiscard]] virtual std::unique_ptr<ConverterObject> Converter() = 0;
};

} // namespace Norlix

#include "company_letter.h"

namespace Norlix {

bool isCompanyLetter(const QString &text)
{
    return text.size() == 1 && text[0] >= u'A' && text[0] <= u'Z';
}

} // namespace Norlix

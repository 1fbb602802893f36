#include "app/logic/form2_layout.h"

namespace torvix {

const FormSpec& form2Spec() {
    using K = ControlSpec::Kind;
    static const FormSpec formLayout{
        QStringLiteral("Form2"),
        QStringLiteral("経歴"),
        8748,
        5544,
        {
            {K::ListBox, QStringLiteral("List1"), {}, 195, 135, 7500, 5088, {}, {}, {}},
            {K::Button,
             QStringLiteral("Command1"),
             QStringLiteral("表示終了"),
             8016,
             150,
             576,
             504,
             {},
             {},
             {}},
        }};
    return formLayout;
}

}  // namespace torvix

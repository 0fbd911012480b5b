#include "filter/Tokenizer.h"

namespace corvanthelix {

void Tokenizer::Run(std::string_view text, WordTable& table) {
    Run(text, [&table](std::string_view token) { table.insert(token); });
}

} // namespace corvanthelix

#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace corvanthelix {

/// The kind of value a printf conversion reads from the argument list.
enum class FormatArgument : unsigned char {
    integer,          // int or unsigned int: %d %i %u %x %X %o %c (also with h or hh)
    longInteger,      // long: %ld %lu %lx ...
    longLongInteger,  // long long: %lld %llu ...
    floating,         // double: %f %e %g %a (also with l)
    text,             // const char*: %s
};

/// The one way the program fills a translated text that is a printf format.
///
/// A language file is untrusted input, so a translation becomes the format only when its
/// conversions read the same kinds of argument, in the same order, as the English text's, and
/// those match the arguments actually passed. A translation with %n, a '*' width, an argument
/// number ("%1$s"), an unknown conversion or a width or precision above `kMaxWidth` is refused and
/// the English text is used instead. An English text that does not fit the arguments is returned
/// unformatted, so no mismatch ever reaches printf.
class TranslatedFormat {
public:
    /// Largest width or precision a conversion may ask for.
    static constexpr int kMaxWidth = 64;

    /// The argument kinds `pattern` reads, in order; nullopt when the pattern is unsafe or not
    /// understood (see the class comment). "%%" reads nothing.
    static std::optional<std::vector<FormatArgument>> conversions(std::string_view pattern);

    /// The pattern to format with: `translated` when it is safe and reads exactly `arguments`
    /// and `english` does too, else `english` when it reads exactly `arguments`, else null.
    /// The result points into one of the two strings.
    static const std::string* choosePattern(const std::string& english, const std::string& translated,
                                            const std::vector<FormatArgument>& arguments);

    /// Fills `english`'s translation `translated` with `arguments` (see choosePattern).
    /// Returns `english` unchanged when neither text fits the arguments.
    template <class... Args>
    static std::string format(const std::string& english, const std::string& translated, Args... arguments) {
        const std::string* pattern = choosePattern(english, translated, {argumentKind<Args>()...});
        if (!pattern) return english;
        return print(pattern->c_str(), arguments...);
    }

    /// Fills string-table entry `id` as the user sees it (translated when a translator is
    /// installed) with `arguments`; "" for an unknown id.
    template <class... Args>
    static std::string byId(int id, Args... arguments) {
        return format(englishText(id), translatedText(id), arguments...);
    }

private:
    template <class T>
    static constexpr FormatArgument argumentKind() {
        using U = std::remove_cv_t<T>;
        if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return FormatArgument::text;
        else if constexpr (std::is_floating_point_v<U>) {
            static_assert(!std::is_same_v<U, long double>, "long double is not formatted");
            return FormatArgument::floating;
        } else {
            static_assert(std::is_integral_v<U> && !std::is_same_v<U, bool>, "argument must be a number or text");
            if constexpr (sizeof(U) <= sizeof(int)) return FormatArgument::integer;
            else if constexpr (std::is_same_v<U, long> || std::is_same_v<U, unsigned long>)
                return FormatArgument::longInteger;
            else return FormatArgument::longLongInteger;
        }
    }

    static std::string englishText(int id);
    static std::string translatedText(int id);
    // The one call of the printf family whose format is not a literal; only choosePattern's
    // result reaches it.
    static std::string print(const char* pattern, ...);
};

} // namespace corvanthelix

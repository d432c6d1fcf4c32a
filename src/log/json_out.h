#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kest {

// JSON written value by value into a buffer of its own: the commas and the escapes in one
// place. Texts must be UTF-8 already. A long run writes millions of values, so each goes in
// with a copy or two and no more.
class JsonOut {
public:
    JsonOut() = default;
    virtual ~JsonOut() = default;

    JsonOut& beginObject() { return begin('{'); }
    JsonOut& endObject() { return end('}'); }
    JsonOut& beginArray() { return begin('['); }
    JsonOut& endArray() { return end(']'); }
    // A key is one of kest's own names, which no character of needs escaping.
    JsonOut& key(std::string_view name)
    {
        separate();
        char* at = room(name.size() + 3);
        *at++ = '"';
        std::memcpy(at, name.data(), name.size());
        at[name.size()] = '"';
        at[name.size() + 1] = ':';
        used_ += name.size() + 3;
        // The key's value needs no comma before it.
        first_ = true;
        return *this;
    }

    JsonOut& text(std::string_view value);
    // One of kest's own texts, which no character of needs escaping.
    JsonOut& plainText(std::string_view value);
    // A demo's text, as the game's console shows it.
    JsonOut& consoleText(std::string_view demoText);
    JsonOut& number(std::int64_t value);
    JsonOut& boolean(bool value);
    JsonOut& null();
    // Ends a line of JSON Lines: what follows is a value of its own.
    JsonOut& endLine();

    // What is written since the last clear.
    std::string_view written() const { return {buffer_.data(), used_}; }
    void clear() { used_ = 0; }

private:
    JsonOut& begin(char bracket);
    JsonOut& end(char bracket);
    // The comma before a value that is not the first of its object or array, nor a key's.
    void separate()
    {
        if (!first_)
            put(',');
        first_ = false;
    }
    // Room for `count` more bytes at `used_`.
    char* room(std::size_t count)
    {
        if (buffer_.size() - used_ < count)
            grow(count);
        return buffer_.data() + used_;
    }
    void grow(std::size_t count);
    void put(std::string_view bytes)
    {
        // An empty text may point nowhere.
        if (!bytes.empty())
            std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    void put(char c) { *room(1) = c, ++used_; }
    // The value between quotes, each byte as `shown` gives it, escaped where JSON wants it.
    template <typename Shown>
    void escaped(std::string_view value, Shown shown);

    std::string buffer_;
    std::size_t used_ = 0;
    bool first_ = true;
};

}  // namespace kest

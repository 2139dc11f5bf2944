#pragma once
// Decoded images for drawing (DrawContext::drawBitmap).

#include <memory>
#include <string>

namespace qv {

class Bitmap {
public:
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }

    struct Native;
    const Native& native() const { return *m_native; }

private:
    friend std::unique_ptr<Bitmap> loadBitmapFile(const std::string&, std::string*);
    Bitmap() = default;

    int m_width = 0;
    int m_height = 0;
    std::unique_ptr<Native> m_native;
};

// Decodes a PNG file into 32-bit premultiplied pixels. Null when the file is
// missing, unreadable, not a PNG or too large; `error` (when given) then names
// the file and the cause.
std::unique_ptr<Bitmap> loadBitmapFile(const std::string& path, std::string* error = nullptr);

}  // namespace qv

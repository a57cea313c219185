# pngFromBmp.py: the page's copy of a piece of art, as PNG: the same pixels as the generator's
# 24-bit BMP (resources/), which the desktop shells read as it is. The backdrop is 646 KB as a
# BMP and 3 KB as a PNG: the service worker's cache keeps it and hands it to every start, and the
# page decodes it. No colour chunk is written, so browsers draw the pixels as they are.
#   python3 pngFromBmp.py backdrop.bmp backdrop.png
import struct, sys, zlib

def rows(bmp):
    """The picture's width, height and RGB rows from the top, of an uncompressed 24-bit BMP."""
    if bmp[:2] != b"BM" or len(bmp) < 54: raise ValueError("not a BMP file")
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", bmp, 18)
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise ValueError("not an uncompressed 24-bit BMP")
    stride = (width * 3 + 3) // 4 * 4  # each row padded to four bytes
    if offset + stride * abs(height) > len(bmp): raise ValueError("the BMP file is cut short")
    out = []
    for row in range(abs(height)):  # a positive height stores the rows bottom-up
        start = offset + stride * (abs(height) - 1 - row if height > 0 else row)
        bgr = bmp[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        out.append(bytes(rgb))
    return width, abs(height), out

def png(width, height, rgbRows):
    chunk = lambda kind, body: struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    pixels = b"".join(b"\0" + row for row in rgbRows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))

if __name__ == "__main__":
    with open(sys.argv[1], "rb") as source: picture = png(*rows(source.read()))
    with open(sys.argv[2], "wb") as target: target.write(picture)

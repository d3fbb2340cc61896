// Text chunks (tEXt) of PNG files, which carry a keyword and Latin-1 text
// beside the picture (PNG, ISO/IEC 15948, 11.3.4.3). Each chunk is a 4-byte
// length, a 4-byte type, the data, and the CRC-32 of type and data (ISO 3309).
const SIGNATURE_BYTES = 8;

// The CRC-32 table of the polynomial 0xedb88320, as PNG's annex D computes it.
const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});

export function crc32(bytes) {
    let c = 0xffffffff;
    for (const byte of bytes) c = CRC_TABLE[(c ^ byte) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function* chunks(png) {
    for (let at = SIGNATURE_BYTES; at + 12 <= png.length;) {
        const length = png.readUInt32BE(at);
        const type = png.toString('latin1', at + 4, at + 8);
        yield { at, type, data: png.subarray(at + 8, at + 8 + length), end: at + 12 + length };
        at += 12 + length;
    }
}

// The text of png's first tEXt chunk with keyword; undefined when it has none.
export function readText(png, keyword) {
    for (const { type, data } of chunks(png)) {
        if (type !== 'tEXt') continue;
        const separator = data.indexOf(0);
        if (data.toString('latin1', 0, separator) === keyword) return data.toString('latin1', separator + 1);
    }
    return undefined;
}

// png with a tEXt chunk of keyword and text (Latin-1) before its IEND chunk.
export function withText(png, keyword, text) {
    const iend = [...chunks(png)].find(({ type }) => type === 'IEND');
    const typeAndData = Buffer.concat([Buffer.from('tEXt', 'latin1'), Buffer.from(`${keyword}\0${text}`, 'latin1')]);
    const chunk = Buffer.alloc(typeAndData.length + 8);
    chunk.writeUInt32BE(typeAndData.length - 4, 0);
    typeAndData.copy(chunk, 4);
    chunk.writeUInt32BE(crc32(typeAndData), chunk.length - 4);
    return Buffer.concat([png.subarray(0, iend.at), chunk, png.subarray(iend.at)]);
}

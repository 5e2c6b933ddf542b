// A small QR code encoder: byte mode, error correction level M (falling back
// to L when the text does not fit), versions 1 to 40. It returns the module
// matrix; drawQr paints it on a canvas. Enough for PIX "copy and paste"
// payloads, which are a few hundred bytes of ASCII.
"use strict";

const Qr = (() => {
  // Error correction codewords per block and number of blocks, by level and
  // version (index 0 unused).
  const ECC_PER_BLOCK = {
    L: [-1, 7, 10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28, 28, 28,
      30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30],
    M: [-1, 10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26, 26, 28,
      28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28],
  };
  const BLOCKS = {
    L: [-1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 4, 6, 6, 6, 6, 7, 8, 8, 9, 9, 10, 12, 12, 12, 13,
      14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25],
    M: [-1, 1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16, 17, 17, 18, 20, 21,
      23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49],
  };
  const FORMAT_LEVEL_BITS = { L: 1, M: 0 };

  function rawDataModules(version) {
    let result = (16 * version + 128) * version + 64;
    if (version >= 2) {
      const align = Math.floor(version / 7) + 2;
      result -= (25 * align - 10) * align - 55;
      if (version >= 7) result -= 36;
    }
    return result;
  }

  function dataCodewords(version, level) {
    return Math.floor(rawDataModules(version) / 8) - ECC_PER_BLOCK[level][version] * BLOCKS[level][version];
  }

  // Multiplication in GF(256) modulo x^8 + x^4 + x^3 + x^2 + 1.
  function gfMul(x, y) {
    let z = 0;
    for (let i = 7; i >= 0; i--) {
      z = (z << 1) ^ ((z >>> 7) * 0x11d);
      z ^= ((y >>> i) & 1) * x;
    }
    return z & 0xff;
  }

  function rsDivisor(degree) {
    const result = new Array(degree).fill(0);
    result[degree - 1] = 1;
    let root = 1;
    for (let i = 0; i < degree; i++) {
      for (let j = 0; j < result.length; j++) {
        result[j] = gfMul(result[j], root);
        if (j + 1 < result.length) result[j] ^= result[j + 1];
      }
      root = gfMul(root, 0x02);
    }
    return result;
  }

  function rsRemainder(data, divisor) {
    const result = new Array(divisor.length).fill(0);
    for (const b of data) {
      const factor = b ^ result.shift();
      result.push(0);
      for (let i = 0; i < divisor.length; i++) result[i] ^= gfMul(divisor[i], factor);
    }
    return result;
  }

  function alignmentPositions(version, size) {
    if (version === 1) return [];
    const count = Math.floor(version / 7) + 2;
    const step = version === 32 ? 26 : Math.ceil((version * 4 + 4) / (count * 2 - 2)) * 2;
    const result = [6];
    for (let pos = size - 7; result.length < count; pos -= step) result.splice(1, 0, pos);
    return result;
  }

  function chooseVersion(byteCount) {
    for (const level of ["M", "L"]) {
      for (let version = 1; version <= 40; version++) {
        const countBits = version <= 9 ? 8 : 16;
        if (4 + countBits + byteCount * 8 <= dataCodewords(version, level) * 8) return { version, level };
      }
    }
    throw new Error("texto longo demais para um QR code");
  }

  function dataBits(bytes, version, level) {
    const bits = [];
    const push = (value, length) => {
      for (let i = length - 1; i >= 0; i--) bits.push((value >>> i) & 1);
    };
    push(0b0100, 4);
    push(bytes.length, version <= 9 ? 8 : 16);
    for (const b of bytes) push(b, 8);
    const capacity = dataCodewords(version, level) * 8;
    push(0, Math.min(4, capacity - bits.length));
    push(0, (8 - (bits.length % 8)) % 8);
    const codewords = [];
    for (let i = 0; i < bits.length; i += 8) {
      codewords.push(bits.slice(i, i + 8).reduce((acc, bit) => (acc << 1) | bit, 0));
    }
    for (let pad = 0xec; codewords.length < capacity / 8; pad ^= 0xec ^ 0x11) codewords.push(pad);
    return codewords;
  }

  function withErrorCorrection(data, version, level) {
    const blockCount = BLOCKS[level][version];
    const eccLength = ECC_PER_BLOCK[level][version];
    const raw = Math.floor(rawDataModules(version) / 8);
    const shortBlocks = blockCount - (raw % blockCount);
    const shortLength = Math.floor(raw / blockCount);
    const divisor = rsDivisor(eccLength);
    const blocks = [];
    for (let i = 0, k = 0; i < blockCount; i++) {
      const block = data.slice(k, k + shortLength - eccLength + (i < shortBlocks ? 0 : 1));
      k += block.length;
      const ecc = rsRemainder(block, divisor);
      if (i < shortBlocks) block.push(0);
      blocks.push(block.concat(ecc));
    }
    const result = [];
    for (let i = 0; i < blocks[0].length; i++) {
      blocks.forEach((block, j) => {
        if (i !== shortLength - eccLength || j >= shortBlocks) result.push(block[i]);
      });
    }
    return result;
  }

  const MASKS = [
    (x, y) => (x + y) % 2 === 0,
    (x, y) => y % 2 === 0,
    (x) => x % 3 === 0,
    (x, y) => (x + y) % 3 === 0,
    (x, y) => (Math.floor(x / 3) + Math.floor(y / 2)) % 2 === 0,
    (x, y) => ((x * y) % 2) + ((x * y) % 3) === 0,
    (x, y) => (((x * y) % 2) + ((x * y) % 3)) % 2 === 0,
    (x, y) => (((x + y) % 2) + ((x * y) % 3)) % 2 === 0,
  ];

  class Matrix {
    constructor(version) {
      this.size = version * 4 + 17;
      this.dark = Array.from({ length: this.size }, () => new Array(this.size).fill(false));
      this.fixed = Array.from({ length: this.size }, () => new Array(this.size).fill(false));
    }

    setFixed(x, y, dark) {
      this.dark[y][x] = dark;
      this.fixed[y][x] = true;
    }
  }

  function drawFunctionPatterns(m, version) {
    const size = m.size;
    for (let i = 0; i < size; i++) {
      m.setFixed(6, i, i % 2 === 0);
      m.setFixed(i, 6, i % 2 === 0);
    }
    for (const [cx, cy] of [[3, 3], [size - 4, 3], [3, size - 4]]) {
      for (let dy = -4; dy <= 4; dy++) {
        for (let dx = -4; dx <= 4; dx++) {
          const x = cx + dx;
          const y = cy + dy;
          const dist = Math.max(Math.abs(dx), Math.abs(dy));
          if (x >= 0 && x < size && y >= 0 && y < size) m.setFixed(x, y, dist !== 2 && dist !== 4);
        }
      }
    }
    const positions = alignmentPositions(version, size);
    const last = positions.length - 1;
    positions.forEach((cx, i) => {
      positions.forEach((cy, j) => {
        if ((i === 0 && j === 0) || (i === 0 && j === last) || (i === last && j === 0)) return;
        for (let dy = -2; dy <= 2; dy++) {
          for (let dx = -2; dx <= 2; dx++) {
            m.setFixed(cx + dx, cy + dy, Math.max(Math.abs(dx), Math.abs(dy)) !== 1);
          }
        }
      });
    });
    if (version >= 7) {
      let rem = version;
      for (let i = 0; i < 12; i++) rem = (rem << 1) ^ ((rem >>> 11) * 0x1f25);
      const bits = (version << 12) | rem;
      for (let i = 0; i < 18; i++) {
        const bit = ((bits >>> i) & 1) === 1;
        const a = size - 11 + (i % 3);
        const b = Math.floor(i / 3);
        m.setFixed(a, b, bit);
        m.setFixed(b, a, bit);
      }
    }
  }

  function drawFormatBits(m, level, mask) {
    const size = m.size;
    const data = (FORMAT_LEVEL_BITS[level] << 3) | mask;
    let rem = data;
    for (let i = 0; i < 10; i++) rem = (rem << 1) ^ ((rem >>> 9) * 0x537);
    const bits = ((data << 10) | rem) ^ 0x5412;
    const bit = (i) => ((bits >>> i) & 1) === 1;
    for (let i = 0; i <= 5; i++) m.setFixed(8, i, bit(i));
    m.setFixed(8, 7, bit(6));
    m.setFixed(8, 8, bit(7));
    m.setFixed(7, 8, bit(8));
    for (let i = 9; i < 15; i++) m.setFixed(14 - i, 8, bit(i));
    for (let i = 0; i < 8; i++) m.setFixed(size - 1 - i, 8, bit(i));
    for (let i = 8; i < 15; i++) m.setFixed(8, size - 15 + i, bit(i));
    m.setFixed(8, size - 8, true);
  }

  function placeCodewords(m, codewords) {
    const size = m.size;
    let i = 0;
    for (let right = size - 1; right >= 1; right -= 2) {
      if (right === 6) right = 5;
      for (let vert = 0; vert < size; vert++) {
        for (let j = 0; j < 2; j++) {
          const x = right - j;
          const upward = ((right + 1) & 2) === 0;
          const y = upward ? size - 1 - vert : vert;
          if (!m.fixed[y][x] && i < codewords.length * 8) {
            m.dark[y][x] = ((codewords[i >>> 3] >>> (7 - (i & 7))) & 1) === 1;
            i++;
          }
        }
      }
    }
  }

  function applyMask(m, mask) {
    for (let y = 0; y < m.size; y++) {
      for (let x = 0; x < m.size; x++) {
        if (!m.fixed[y][x] && MASKS[mask](x, y)) m.dark[y][x] = !m.dark[y][x];
      }
    }
  }

  // Penalty of a finished symbol: long runs, 2x2 blocks and dark/light
  // imbalance. Any mask decodes; the lowest penalty just scans best.
  function penalty(m) {
    const size = m.size;
    let score = 0;
    let darkCount = 0;
    for (let a = 0; a < size; a++) {
      for (const line of [(i) => m.dark[a][i], (i) => m.dark[i][a]]) {
        let run = 1;
        for (let i = 1; i <= size; i++) {
          if (i < size && line(i) === line(i - 1)) {
            run++;
          } else {
            if (run >= 5) score += run - 2;
            run = 1;
          }
        }
      }
    }
    for (let y = 0; y < size; y++) {
      for (let x = 0; x < size; x++) {
        if (m.dark[y][x]) darkCount++;
        if (x + 1 < size && y + 1 < size) {
          const c = m.dark[y][x];
          if (c === m.dark[y][x + 1] && c === m.dark[y + 1][x] && c === m.dark[y + 1][x + 1]) score += 3;
        }
      }
    }
    const total = size * size;
    score += Math.floor(Math.abs(darkCount * 20 - total * 10) / total) * 10;
    return score;
  }

  function encode(text) {
    const bytes = Array.from(new TextEncoder().encode(text));
    const { version, level } = chooseVersion(bytes.length);
    const codewords = withErrorCorrection(dataBits(bytes, version, level), version, level);
    let best = null;
    for (let mask = 0; mask < 8; mask++) {
      const m = new Matrix(version);
      drawFunctionPatterns(m, version);
      drawFormatBits(m, level, mask);
      placeCodewords(m, codewords);
      applyMask(m, mask);
      const score = penalty(m);
      if (best === null || score < best.score) best = { score, matrix: m };
    }
    return { version, level, size: best.matrix.size, dark: best.matrix.dark };
  }

  // Draws the symbol with a four-module quiet zone, scale pixels per module.
  function draw(canvas, text, scale = 6) {
    const qr = encode(text);
    const border = 4;
    const pixels = (qr.size + border * 2) * scale;
    canvas.width = pixels;
    canvas.height = pixels;
    const ctx = canvas.getContext("2d");
    ctx.fillStyle = "#fff";
    ctx.fillRect(0, 0, pixels, pixels);
    ctx.fillStyle = "#000";
    for (let y = 0; y < qr.size; y++) {
      for (let x = 0; x < qr.size; x++) {
        if (qr.dark[y][x]) ctx.fillRect((x + border) * scale, (y + border) * scale, scale, scale);
      }
    }
    return qr;
  }

  return { encode, draw };
})();

#!/usr/bin/env node
// silk_peer.mjs - use the npm package silk-wasm (3.7.1) as an interoperability
// peer for a SILK v3 implementation.  Written for this project (not copied).
//
//   node silk_peer.mjs info   <file.silk>
//   node silk_peer.mjs encode <in.s16le | tone:FREQ:AMP:SECONDS> <rate> <out.silk>
//   node silk_peer.mjs decode <in.silk> <rate> <out.s16le> [--raw]
//   node silk_peer.mjs selftest [workdir]
//
// Location of silk-wasm: $SILK_WASM (path to lib/index.mjs or the package
// folder), else the package name 'silk-wasm', else fails with a message.
//
// 'decode' works around a bug in silk-wasm's decode(): it skips the 3rd and 4th
// packets of every file and appends two concealed frames at the end. It
// re-frames the file (pads packets to equal length, inserts two dummy packets
// after the second), calls decode(), and trims the two extra frames.  --raw
// calls decode() on the file as given (buggy for > 2 packets).

import { readFileSync, writeFileSync, existsSync, mkdirSync } from 'node:fs'
import { createHash } from 'node:crypto'
import { join } from 'node:path'
import { pathToFileURL } from 'node:url'

async function loadSilk () {
  const cands = []
  if (process.env.SILK_WASM) {
    const p = process.env.SILK_WASM
    cands.push(p.endsWith('.mjs') ? p : join(p, 'lib', 'index.mjs'))
  }
  cands.push('silk-wasm')
  for (const c of cands) {
    try {
      return await import(c.startsWith('/') ? pathToFileURL(c).href : c)
    } catch (e) { /* try next */ }
  }
  throw new Error('silk-wasm not found; set SILK_WASM=/path/to/package')
}

const MAGIC = Buffer.from('#!SILK_V3', 'latin1')

// Parse a SILK v3 file. Accepts the Tencent form (0x02 + "#!SILK_V3") and the
// Skype SDK form ("#!SILK_V3"), with or without a trailing 0xFFFF (-1) length.
export function parseSilk (buf) {
  buf = Buffer.from(buf)
  let off = 0
  let tencent = false
  if (buf[0] === 0x02) { tencent = true; off = 1 }
  if (!buf.subarray(off, off + 9).equals(MAGIC)) throw new Error('not a SILK v3 file')
  off += 9
  const packets = []
  let terminated = false
  let trailing = 0
  while (off < buf.length) {
    if (off + 2 > buf.length) { trailing = buf.length - off; break }
    const n = buf.readInt16LE(off)
    off += 2
    if (n < 0) { terminated = true; trailing = buf.length - off; break }
    if (off + n > buf.length) throw new Error(`truncated packet at byte ${off - 2}`)
    packets.push(buf.subarray(off, off + n))
    off += n
  }
  return { tencent, terminated, trailing, packets }
}

// Build a file. tencent=true gives what silk-wasm writes and requires.
export function buildSilk (packets, { tencent = true, terminator = false } = {}) {
  const parts = [tencent ? Buffer.from([0x02]) : Buffer.alloc(0), MAGIC]
  for (const p of packets) {
    if (p.length > 32767) throw new Error('packet too long')
    const h = Buffer.alloc(2); h.writeInt16LE(p.length); parts.push(h, Buffer.from(p))
  }
  if (terminator) { const h = Buffer.alloc(2); h.writeInt16LE(-1); parts.push(h) }
  return Buffer.concat(parts)
}

// The first byte of every packet carries the sampling-rate symbol of the
// range coder only implicitly; to know the internal rate and the frame count
// of a packet a real SILK parser is needed. For the peer we only need the
// packet count: silk-wasm (SDK 1.0.9) emits one packet per 20 ms.

export function toneS16 (rate, freq = 440, amp = 8000, seconds = 1) {
  const n = Math.round(rate * seconds)
  const pcm = new Int16Array(n)
  for (let i = 0; i < n; i++) pcm[i] = Math.round(amp * Math.sin(2 * Math.PI * freq * i / rate))
  return Buffer.from(pcm.buffer)
}

export async function peerEncode (pcmS16le, rate) {
  const silk = await loadSilk()
  const r = await silk.encode(new Uint8Array(pcmS16le), rate)
  return Buffer.from(r.data)
}

// Decode with the work-around: insert two dummy packets after the second
// packet, end the file with a 0xFFFF terminator, decode, and drop the two extra
// 20 ms frames silk-wasm appends at the end.
// keepTail keeps those two frames: the frames a decoder makes after the last packet.
export async function peerDecode (silkFile, rate, { raw = false, keepTail = false } = {}) {
  const silk = await loadSilk()
  const f = parseSilk(silkFile)
  if (raw) {
    const file = f.tencent ? Buffer.from(silkFile) : buildSilk(f.packets, { tencent: true, terminator: f.terminated })
    return Buffer.from((await silk.decode(file, rate)).data)
  }
  if (f.packets.length === 0) return Buffer.alloc(0)
  const dummy = Buffer.alloc(Math.max(...f.packets.map(p => p.length)))
  const seq = [...f.packets.slice(0, 2), dummy, dummy, ...f.packets.slice(2)]
  const out = Buffer.from((await silk.decode(buildSilk(seq, { tencent: true, terminator: true }), rate)).data)
  const extra = 2 * 2 * Math.floor(rate / 50)          // 2 frames of 20 ms, 2 bytes per sample
  if (out.length < extra) throw new Error('unexpectedly short output from silk-wasm')
  return keepTail ? out : out.subarray(0, out.length - extra)
}

function sha (b) { return createHash('sha256').update(b).digest('hex').slice(0, 16) }

async function main () {
  const [cmd, ...a] = process.argv.slice(2)
  if (cmd === 'info') {
    const f = parseSilk(readFileSync(a[0]))
    const lens = f.packets.map(p => p.length)
    console.log(JSON.stringify({ tencent_0x02_prefix: f.tencent, terminator_0xFFFF: f.terminated, trailing_bytes: f.trailing,
      packets: lens.length, bytes_min: Math.min(...lens), bytes_max: Math.max(...lens),
      first_packets_hex: f.packets.slice(0, 3).map(p => p.toString('hex')) }, null, 1))
  } else if (cmd === 'encode') {
    const rate = +a[1]
    let pcm
    if (a[0].startsWith('tone')) {
      const [, fr = 440, amp = 8000, sec = 1] = a[0].split(':')
      pcm = toneS16(rate, +fr, +amp, +sec)
    } else pcm = readFileSync(a[0])
    const out = await peerEncode(pcm, rate)
    writeFileSync(a[2], out)
    console.log(`wrote ${a[2]}: ${out.length} bytes, ${parseSilk(out).packets.length} packets`)
  } else if (cmd === 'decode') {
    const pcm = await peerDecode(readFileSync(a[0]), +a[1], { raw: a.includes('--raw') })
    writeFileSync(a[2], pcm)
    console.log(`wrote ${a[2]}: ${pcm.length / 2} samples at ${a[1]} Hz`)
  } else if (cmd === 'selftest') {
    const dir = a[0] || 'silk_peer_selftest'
    mkdirSync(dir, { recursive: true })
    let ok = true
    for (const rate of [8000, 12000, 16000, 24000, 32000, 44100, 48000]) {
      const pcm = toneS16(rate, 440, 8000, 1)
      const silkFile = await peerEncode(pcm, rate)
      const f = parseSilk(silkFile)
      const dec = await peerDecode(silkFile, rate)
      const decRaw = await peerDecode(silkFile, rate, { raw: true })
      // (b)-style round trip: rebuild the file from parsed packets in the
      // Skype form (no 0x02, with terminator) and decode again
      const rebuilt = buildSilk(f.packets, { tencent: false, terminator: true })
      const dec2 = await peerDecode(rebuilt, rate)
      const good = f.tencent && f.packets.length === 50 && dec.length === pcm.length && dec2.equals(dec)
      ok &&= good
      // SNR of the decoded tone against the input, best alignment within 0..10 ms
      const x = new Int16Array(pcm.buffer, pcm.byteOffset, pcm.length / 2)
      const y = new Int16Array(dec.buffer, dec.byteOffset, dec.length / 2)
      let best = -1e9
      for (let d = 0; d < rate / 100; d++) {
        let s = 0, e = 0
        for (let i = rate / 10; i < x.length - d; i++) { s += x[i] * x[i]; e += (x[i] - y[i + d]) ** 2 }
        best = Math.max(best, 10 * Math.log10(s / Math.max(e, 1)))
      }
      console.log(`${rate} Hz: file ${silkFile.length} B (sha256/16 ${sha(silkFile)}), ${f.packets.length} packets, ` +
        `decoded ${y.length} samples (sha256/16 ${sha(dec)}), raw-decode differs: ${!decRaw.subarray(0, dec.length).equals(dec)}, ` +
        `tone SNR ${best.toFixed(1)} dB ${good ? 'OK' : 'FAIL'}`)
      writeFileSync(join(dir, `tone440_${rate}.silk`), silkFile)
      writeFileSync(join(dir, `tone440_${rate}.in.s16le`), pcm)
      writeFileSync(join(dir, `tone440_${rate}.dec.s16le`), dec)
    }
    console.log(ok ? 'SELFTEST PASSED' : 'SELFTEST FAILED')
    process.exitCode = ok ? 0 : 1
  } else {
    console.log('usage: info|encode|decode|selftest (see header of this file)')
    process.exitCode = 2
  }
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) await main()

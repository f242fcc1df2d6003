#!/usr/bin/env node
// Our SILK codec against the reference one (silk-wasm, run by silk_peer.mjs):
//   (a) the reference encoder's packets decode with our decoder to identical PCM, at the
//       internal rate and at other output rates, in both file framings;
//   (b) our encoder's packets decode with the reference decoder, whose PCM is identical
//       to our decoder's, at a bit rate within 10 % of the target and an SNR at most
//       1.5 dB below the reference encoder's at the same bit rate;
//   (c) concealment: a fixed loss pattern stays bounded and fades to silence.
//
//   node interop.mjs <silk_tool> <workdir>   (workdir holds speech_<rate>.s16le)
// Prints one line per check and a table of figures; exit 1 when a check fails.
import { execFileSync } from 'node:child_process'
import { readFileSync, writeFileSync } from 'node:fs'
import { join } from 'node:path'
import { peerEncode, peerDecode, parseSilk, buildSilk, toneS16 } from './silk_peer.mjs'

const [tool, work] = process.argv.slice(2)
const CODEC_RATES = [8000, 12000, 16000, 24000]
// Output rates other than the internal one: up, down and fractional resampling paths.
const OTHER_OUTPUT_RATES = { 8000: [16000, 44100], 12000: [8000, 48000], 16000: [8000, 22050], 24000: [11025, 16000, 48000] }
const MAX_SNR_GAP_DB = 1.5
const MAX_RATE_ERROR = 0.10
const LOSS_PATTERN = '10,20,30-32,60-'

let failures = 0
const figures = []

function check (ok, what, detail = '') {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${detail ? ' — ' + detail : ''}`)
  if (!ok) failures++
}

function ours (...args) {
  return execFileSync(tool, args.map(String), { encoding: 'utf8' }).trim()
}

const path = name => join(work, name)
const samples = buf => new Int16Array(buf.buffer, buf.byteOffset, buf.length >> 1)

function firstDifference (a, b) {
  const x = samples(a); const y = samples(b)
  const n = Math.min(x.length, y.length)
  for (let i = 0; i < n; i++) if (x[i] !== y[i]) return `sample ${i}: ours ${x[i]}, reference ${y[i]}`
  return `lengths ${x.length} vs ${y.length}`
}

function sameBytes (what, oursPcm, reference) {
  const ok = oursPcm.equals(reference)
  check(ok, what, ok ? `${reference.length >> 1} samples` : firstDifference(oursPcm, reference))
}

// SNR of decoded against input in dB at the best delay up to 10 ms; the first 100 ms
// (the codec settling) do not count.
function snrDb (input, decoded, rate) {
  const x = samples(input); const y = samples(decoded)
  let best = -Infinity
  for (let d = 0; d <= rate / 100; d++) {
    let signal = 0; let noise = 0
    for (let i = rate / 10; i < x.length && i + d < y.length; i++) {
      signal += x[i] * x[i]
      noise += (x[i] - y[i + d]) ** 2
    }
    best = Math.max(best, 10 * Math.log10(signal / Math.max(noise, 1)))
  }
  return best
}

const kbps = file => {
  const { packets } = parseSilk(file)
  return packets.reduce((sum, p) => sum + p.length, 0) * 8 / (packets.length * 20)
}

async function referenceToOurDecoder (name, pcm, apiRate, internalRate) {
  const file = await peerEncode(pcm, apiRate)
  writeFileSync(path(`${name}.silk`), file)
  for (const outRate of [internalRate, ...(OTHER_OUTPUT_RATES[internalRate] || [])]) {
    ours('decode', path(`${name}.silk`), outRate, path(`${name}.ours.s16le`))
    sameBytes(`(a) ${name}: reference packets, our decoder at ${outRate} Hz`,
      readFileSync(path(`${name}.ours.s16le`)), await peerDecode(file, outRate))
  }
  return file
}

async function bothFramings (name, file, rate) {
  writeFileSync(path(`${name}.skype.silk`), buildSilk(parseSilk(file).packets, { tencent: false, terminator: true }))
  ours('decode', path(`${name}.skype.silk`), rate, path(`${name}.skype.s16le`))
  sameBytes(`(a) ${name}: Skype framing (no 0x02, FF FF terminator)`, readFileSync(path(`${name}.skype.s16le`)),
    await peerDecode(file, rate))
}

async function ourEncoderToReference (rate, speech, referenceFile) {
  const referenceKbps = kbps(referenceFile)
  const target = Math.round(referenceKbps * 1000)
  ours('encode', path(`speech_${rate}.s16le`), rate, target, path(`ours_${rate}.silk`))
  const file = readFileSync(path(`ours_${rate}.silk`))
  for (const outRate of [rate, 48000]) {
    ours('decode', path(`ours_${rate}.silk`), outRate, path(`ours_${rate}.dec.s16le`))
    sameBytes(`(b) speech ${rate} Hz: our packets, reference decoder at ${outRate} Hz`,
      readFileSync(path(`ours_${rate}.dec.s16le`)), await peerDecode(file, outRate))
  }
  const ourKbps = kbps(file)
  check(Math.abs(ourKbps * 1000 / target - 1) <= MAX_RATE_ERROR, `(b) speech ${rate} Hz: bit rate near the target`,
    `${ourKbps.toFixed(2)} kbit/s for ${(target / 1000).toFixed(2)}`)
  const referenceSnr = snrDb(speech, await peerDecode(referenceFile, rate), rate)
  const ourSnr = snrDb(speech, await peerDecode(file, rate), rate)
  check(referenceSnr - ourSnr <= MAX_SNR_GAP_DB, `(b) speech ${rate} Hz: SNR within ${MAX_SNR_GAP_DB} dB of the reference encoder`,
    `ours ${ourSnr.toFixed(2)} dB at ${ourKbps.toFixed(2)} kbit/s, reference ${referenceSnr.toFixed(2)} dB at ${referenceKbps.toFixed(2)} kbit/s`)
  figures.push({ rate, referenceKbps, ourKbps, referenceSnr, ourSnr })
  return file
}

async function concealment (rate, file) {
  writeFileSync(path(`conceal_${rate}.silk`), file)
  ours('decode', path(`conceal_${rate}.silk`), rate, path(`conceal_${rate}.s16le`), '--lost', LOSS_PATTERN)
  const y = samples(readFileSync(path(`conceal_${rate}.s16le`)))
  const frame = rate / 50
  const energy = (from, to) => { let e = 0; for (let i = from * frame; i < to * frame; i++) e += y[i] * y[i]; return e / ((to - from) * frame) }
  const frames = y.length / frame
  const peak = y.reduce((m, v) => Math.max(m, Math.abs(v)), 0)
  const speechLevel = energy(0, 60)
  const tailLevel = energy(frames - 20, frames)
  check(peak < 32767 && frames === parseSilk(file).packets.length, `(c) speech ${rate} Hz: losses ${LOSS_PATTERN} stay bounded`,
    `peak ${peak}, ${frames} frames`)
  const fadeDb = 10 * Math.log10(Math.max(tailLevel, 1e-3) / speechLevel)
  check(fadeDb < -30, `(c) speech ${rate} Hz: a long outage fades to silence`, `last 400 ms ${fadeDb.toFixed(1)} dB below the speech`)
}

for (const rate of CODEC_RATES) {
  const speech = readFileSync(path(`speech_${rate}.s16le`))
  const referenceFile = await referenceToOurDecoder(`speech_${rate}`, speech, rate, rate)
  if (rate === 16000) await bothFramings(`speech_${rate}`, referenceFile, rate)
  const ourFile = await ourEncoderToReference(rate, speech, referenceFile)
  await concealment(rate, rate === 24000 ? ourFile : referenceFile)
}
// Tones, and API rates above 24 kHz (the reference then codes at 24 kHz).
for (const rate of [8000, 16000, 24000, 32000, 44100, 48000]) {
  await referenceToOurDecoder(`tone_${rate}`, toneS16(rate, 440, 8000, 1), rate, Math.min(rate, 24000))
}

console.log('\nrate    reference kbit/s  SNR dB   ours kbit/s  SNR dB   gap dB')
for (const f of figures) {
  console.log(`${String(f.rate).padEnd(8)}${f.referenceKbps.toFixed(2).padStart(16)}${f.referenceSnr.toFixed(2).padStart(8)}` +
    `${f.ourKbps.toFixed(2).padStart(14)}${f.ourSnr.toFixed(2).padStart(8)}${(f.referenceSnr - f.ourSnr).toFixed(2).padStart(9)}`)
}
console.log(failures ? `\n${failures} check(s) failed` : '\nall checks passed')
process.exitCode = failures ? 1 : 0

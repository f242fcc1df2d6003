#!/usr/bin/env node
// Our SILK codec against the reference one (silk-wasm, run by silk_peer.mjs):
//   (a) the reference encoder's packets decode with our decoder to identical PCM, at the
//       internal rate and at other output rates, in both file framings;
//   (b) our encoder's packets decode with the reference decoder, whose PCM is identical
//       to our decoder's, at a bit rate within 10 % of the target and an SNR at most
//       1.5 dB below the reference encoder's at the same bit rate;
//   (c) concealment: a fixed loss pattern stays bounded and fades to silence; empty
//       packets in place of lost ones, and the frames the reference appends after the last
//       packet, decode to the reference's PCM;
//   (d) our encoder's 40/60/100 ms packets, with and without in-band redundancy, decode
//       with the reference to our decoder's PCM;
//   (e) lost packets decoded from the redundant copy a later packet carries, as the SDK's
//       decoder program does. The reference does not search for copies itself (its
//       jitter-buffer simulation decodes an empty packet as a damaged one), but decodes the
//       copies when they are handed to it in place of the lost packets: identical PCM. The
//       recovered frames are closer to the original than concealment.
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
const PACKET_MS = [40, 60, 100]
const TAIL_FRAMES = 2  // what the reference decodes after the last packet
// Empty packets the reference meets: single losses and bursts of 3 and 6.
const EMPTY_PACKETS = [10, 20, 30, 31, 32, 60, 61, 62, 63, 64, 65, 100, 150]
// Redundancy pays when the recovered frames are this much closer to the original
// (mean log-spectral distance over the lost speech frames) than concealed ones.
const MIN_RECOVERY_GAIN_DB = 1.5

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

// After the last packet: the reference's two extra frames against ours from empty payloads.
async function afterLastPacket (name, file, rate) {
  ours('decode', path(`${name}.silk`), rate, path(`${name}.tail.s16le`), '--tail', TAIL_FRAMES)
  sameBytes(`(c) ${name}: ${TAIL_FRAMES} frames after the last packet at ${rate} Hz`, readFileSync(path(`${name}.tail.s16le`)),
    await peerDecode(file, rate, { keepTail: true }))
}

async function emptyPackets (name, file, rate) {
  const holed = buildSilk(parseSilk(file).packets.map((p, i) => EMPTY_PACKETS.includes(i) ? Buffer.alloc(0) : p))
  writeFileSync(path(`${name}.holed.silk`), holed)
  ours('decode', path(`${name}.holed.silk`), rate, path(`${name}.holed.s16le`), '--empty')
  sameBytes(`(c) ${name}: empty packets ${EMPTY_PACKETS.join(',')} at ${rate} Hz`, readFileSync(path(`${name}.holed.s16le`)),
    await peerDecode(holed, rate))
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

async function multiFramePackets (rate, bitRate) {
  for (const ms of PACKET_MS) {
    for (const fec of [false, true]) {
      const name = `ours_${rate}_${ms}ms${fec ? '_fec' : ''}`
      ours('encode', path(`speech_${rate}.s16le`), rate, bitRate, path(`${name}.silk`), '--packet', ms, ...(fec ? ['--fec', 10] : []))
      ours('decode', path(`${name}.silk`), rate, path(`${name}.s16le`))
      const file = readFileSync(path(`${name}.silk`))
      sameBytes(`(d) speech ${rate} Hz: our ${ms} ms packets${fec ? ' with redundancy' : ''}, reference decoder`,
        readFileSync(path(`${name}.s16le`)), await peerDecode(file, rate))
    }
  }
}

// Log-spectral distance (dB, 16 bands) of frame k of y from the same frame of x.
function spectralDistance (x, y, k, frame) {
  const bands = v => {
    const out = new Array(16).fill(1)
    for (let m = 1; m < frame / 2; m++) {
      let re = 0; let im = 0
      for (let n = 0; n < frame; n++) {
        const w = (0.5 - 0.5 * Math.cos(2 * Math.PI * n / frame)) * v[k * frame + n]
        re += w * Math.cos(2 * Math.PI * m * n / frame); im -= w * Math.sin(2 * Math.PI * m * n / frame)
      }
      out[Math.floor(m * 32 / frame)] += re * re + im * im
    }
    return out.map(e => 10 * Math.log10(e))
  }
  const bx = bands(x); const by = bands(y)
  return Math.sqrt(bx.reduce((sum, v, i) => sum + (v - by[i]) ** 2, 0) / bx.length)
}

async function redundancyAfterLoss (rate, bitRate, ms) {
  const name = `fec_${rate}_${ms}ms`
  const speech = readFileSync(path(`speech_${rate}.s16le`))
  ours('encode', path(`speech_${rate}.s16le`), rate, bitRate, path(`${name}.silk`), '--packet', ms, '--fec', 10)
  const packets = parseSilk(readFileSync(path(`${name}.silk`))).packets.length
  // Single losses every 7th packet, and pairs: the first of a pair has no copy left.
  const lost = []
  for (let i = 8; i < packets - 2; i += 7) lost.push(i)
  for (let i = 12; i < packets - 2; i += 35) lost.push(i, i + 1)
  const list = [...new Set(lost)].sort((a, b) => a - b).join(',')
  // Against the reference, packets without a copy are empty ones, as it handles them.
  ours('decode', path(`${name}.silk`), rate, path(`${name}.fec_empty.s16le`), '--lost', list, '--fec', '--empty')
  ours('receive', path(`${name}.silk`), path(`${name}.received.silk`), '--lost', list)
  sameBytes(`(e) speech ${rate} Hz, ${ms} ms packets: lost packets from their redundant copies, reference decoder`,
    readFileSync(path(`${name}.fec_empty.s16le`)), await peerDecode(readFileSync(path(`${name}.received.silk`)), rate))

  // Against the original, packets without a copy are concealed for their whole length.
  ours('decode', path(`${name}.silk`), rate, path(`${name}.fec.s16le`), '--lost', list, '--fec')
  ours('decode', path(`${name}.silk`), rate, path(`${name}.plc.s16le`), '--lost', list)
  const recovered = readFileSync(path(`${name}.fec.s16le`))
  const frame = rate / 50
  const framesPer = ms / 20
  const x = samples(speech); const withCopies = samples(recovered); const concealed = samples(readFileSync(path(`${name}.plc.s16le`)))
  let count = 0; let copyDistance = 0; let concealedDistance = 0
  for (const p of lost.filter(p => !lost.includes(p + 1))) {  // the recovered ones
    for (let k = p * framesPer; k < (p + 1) * framesPer; k++) {
      let energy = 0
      for (let i = k * frame; i < (k + 1) * frame; i++) energy += x[i] * x[i]
      if (Math.sqrt(energy / frame) < 300) continue  // speech frames only
      count++
      copyDistance += spectralDistance(x, withCopies, k, frame)
      concealedDistance += spectralDistance(x, concealed, k, frame)
    }
  }
  copyDistance /= count; concealedDistance /= count
  check(count > 10 && !recovered.equals(readFileSync(path(`${name}.plc.s16le`))) && concealedDistance - copyDistance >= MIN_RECOVERY_GAIN_DB,
    `(e) speech ${rate} Hz, ${ms} ms packets: recovered frames closer to the original than concealment`,
    `log-spectral distance ${copyDistance.toFixed(2)} dB recovered, ${concealedDistance.toFixed(2)} dB concealed, ${count} frames`)
}

for (const rate of CODEC_RATES) {
  const speech = readFileSync(path(`speech_${rate}.s16le`))
  const referenceFile = await referenceToOurDecoder(`speech_${rate}`, speech, rate, rate)
  await afterLastPacket(`speech_${rate}`, referenceFile, rate)
  await emptyPackets(`speech_${rate}`, referenceFile, rate)
  if (rate === 16000) await bothFramings(`speech_${rate}`, referenceFile, rate)
  const ourFile = await ourEncoderToReference(rate, speech, referenceFile)
  await concealment(rate, rate === 24000 ? ourFile : referenceFile)
}
for (const rate of [8000, 24000]) await multiFramePackets(rate, rate === 8000 ? 16000 : 28000)
await redundancyAfterLoss(16000, 24000, 20)
await redundancyAfterLoss(24000, 28000, 60)
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

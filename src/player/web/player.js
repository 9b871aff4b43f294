// Plays one channel: the page's query names it (name, url, and the request options ua and
// referer). Every request for the stream goes to this page's own origin, whose handler fetches
// it with the channel's options, so no server needs to allow this page.
'use strict';

(function () {
  const FAILURE_TYPE = 'application/x-qelvu-failure';
  const HLS_TYPES = new Set([
    'application/vnd.apple.mpegurl', 'application/x-mpegurl', 'audio/mpegurl',
    'audio/x-mpegurl', 'application/mpegurl',
  ]);
  const HTML_TYPES = new Set(['text/html', 'application/xhtml+xml']);
  const CAPTION_MS = 4000;
  // Playback that has not moved for this long is a stall; each recovery step gets as long again.
  const STALL_MS = 6000;
  const NETWORK_RETRIES = 4;
  const MEDIA_RETRIES = 2;

  const query = new URLSearchParams(location.search);
  const channel = {
    name: query.get('name') || '',
    url: query.get('url') || '',
    ua: query.get('ua') || '',
    referer: query.get('referer') || '',
  };
  const video = document.getElementById('video');
  const statusLine = document.getElementById('status');
  const caption = document.getElementById('caption');

  const state = {
    mode: 'probe',
    failure: '',
    firstFrameAt: 0,
    presentedFrames: 0,
    recoveries: 0,
  };
  let hls = null;

  // What the program (and its tests) can read of the playback.
  window.qelvuPlayer = {
    state: function () {
      const quality = video.getVideoPlaybackQuality ? video.getVideoPlaybackQuality() : null;
      return {
        mode: state.mode,
        failure: state.failure,
        status: statusLine.textContent,
        decodedFrames: quality ? quality.totalVideoFrames : 0,
        presentedFrames: state.presentedFrames,
        currentTime: video.currentTime,
        // Milliseconds since the epoch, like Date.now().
        firstFrameAt: state.firstFrameAt,
        recoveries: state.recoveries,
      };
    },
  };

  function streamUrl(url) {
    const items = new URLSearchParams({url: url});
    if (channel.ua) items.set('ua', channel.ua);
    if (channel.referer) items.set('referer', channel.referer);
    return new URL('/stream?' + items.toString(), location.href).href;
  }

  // The stream's own address behind a stream URL of this origin (after the handler's redirects,
  // the address the answer finally came from).
  function realUrl(url) {
    try {
      const parsed = new URL(url);
      if (parsed.origin === location.origin) return parsed.searchParams.get('url') || '';
    } catch (e) {
      // Not a URL at all: nothing to map.
    }
    return '';
  }

  function contentType(xhr) {
    return (xhr.getResponseHeader('Content-Type') || '').split(';')[0].trim().toLowerCase();
  }

  // The handler's failure body: the HTTP status (0 before any answer), a line break, the reason.
  function readFailure(data) {
    const text = typeof data === 'string' ? data : new TextDecoder().decode(data);
    const cut = text.indexOf('\n');
    return {code: parseInt(text.slice(0, cut), 10) || 0, text: text.slice(cut + 1)};
  }

  function failureReason(failure) {
    return failure.code > 0 ? failure.text : '网络错误（' + failure.text + '）';
  }

  function showStatus(text) {
    statusLine.textContent = text;
    statusLine.classList.toggle('hidden', text === '');
  }

  function fail(reason) {
    if (state.failure) return;
    state.failure = '无法播放：' + reason;
    state.mode = 'failed';
    showStatus(state.failure);
    if (hls) {
      hls.destroy();
      hls = null;
    }
    video.removeAttribute('src');
    video.load();
  }

  function firstFrame() {
    if (state.firstFrameAt || state.failure) return;
    state.firstFrameAt = performance.timeOrigin + performance.now();
    showStatus('');
  }

  function countFrames() {
    if (!video.requestVideoFrameCallback) return;
    video.requestVideoFrameCallback(function onFrame() {
      ++state.presentedFrames;
      firstFrame();
      video.requestVideoFrameCallback(onFrame);
    });
  }

  function play() {
    const started = video.play();
    if (started) started.catch(function () { /* autoplay settings or a replaced source */ });
  }

  // The playlist's requests, fragments' and keys' alike, go through this origin; hls.js sees
  // the real addresses, so relative references in a playlist resolve against the real one.
  function makeLoader() {
    const Base = Hls.DefaultConfig.loader;
    return class StreamLoader extends Base {
      load(context, config, callbacks) {
        const real = context.url;
        context.url = streamUrl(real);
        const restore = function (response) {
          context.url = real;
          if (response) response.url = realUrl(response.url) || real;
        };
        const loader = this;
        super.load(context, config, {
          onSuccess: function (response, stats, ctx, details) {
            restore(response);
            if ((loader.getResponseHeader('Content-Type') || '').startsWith(FAILURE_TYPE)) {
              const failure = readFailure(response.data);
              callbacks.onError({code: failure.code, text: failureReason(failure)}, ctx, details,
                                stats);
              return;
            }
            callbacks.onSuccess(response, stats, ctx, details);
          },
          onError: function (error, ctx, details, stats) {
            restore(null);
            callbacks.onError(error, ctx, details, stats);
          },
          onTimeout: function (stats, ctx, details) {
            restore(null);
            callbacks.onTimeout(stats, ctx, details);
          },
          onAbort: callbacks.onAbort && function (stats, ctx, details) {
            restore(null);
            callbacks.onAbort(stats, ctx, details);
          },
          onProgress: callbacks.onProgress,
        });
      }
    };
  }

  function hlsFailureReason(data) {
    if (data.response && data.response.code > 0) return data.response.text || 'HTTP ' + data.response.code;
    if (data.response && data.response.text) return data.response.text;
    if (data.type === Hls.ErrorTypes.MEDIA_ERROR) return '不支持的格式（' + data.details + '）';
    if (data.details === Hls.ErrorDetails.MANIFEST_PARSING_ERROR) return '不支持的格式（不是 HLS 播放列表）';
    if (data.type === Hls.ErrorTypes.NETWORK_ERROR) return '网络错误（' + data.details + '）';
    return data.details || '未知错误';
  }

  let networkRetries = 0;
  let mediaRetries = 0;

  function playHls(url) {
    state.mode = 'hls';
    if (!Hls.isSupported()) return fail('不支持的格式（没有 Media Source Extensions）');
    hls = new Hls({
      loader: makeLoader(),
      // A live stream starts near its edge and keeps only a short history.
      liveSyncDurationCount: 3,
      backBufferLength: 30,
      manifestLoadPolicy: {
        default: {
          maxTimeToFirstByteMs: 10000,
          maxLoadTimeMs: 20000,
          timeoutRetry: {maxNumRetry: 2, retryDelayMs: 0, maxRetryDelayMs: 0},
          errorRetry: {maxNumRetry: 1, retryDelayMs: 1000, maxRetryDelayMs: 4000,
                       shouldRetry: retryUnlessRefused},
        },
      },
      fragLoadPolicy: {
        default: {
          maxTimeToFirstByteMs: 5000,
          maxLoadTimeMs: 60000,
          timeoutRetry: {maxNumRetry: 4, retryDelayMs: 0, maxRetryDelayMs: 0},
          errorRetry: {maxNumRetry: 4, retryDelayMs: 500, maxRetryDelayMs: 4000},
        },
      },
    });
    hls.on(Hls.Events.ERROR, function (event, data) {
      if (!data.fatal || !hls) return;
      // Before the first frame a refusal is the answer; afterwards a live stream gets its
      // chances to come back.
      if (data.type === Hls.ErrorTypes.MEDIA_ERROR && mediaRetries < MEDIA_RETRIES) {
        ++mediaRetries;
        ++state.recoveries;
        if (mediaRetries === MEDIA_RETRIES) hls.swapAudioCodec();
        hls.recoverMediaError();
        return;
      }
      if (data.type === Hls.ErrorTypes.NETWORK_ERROR && state.firstFrameAt &&
          networkRetries < NETWORK_RETRIES) {
        ++networkRetries;
        ++state.recoveries;
        setTimeout(function () { if (hls) hls.startLoad(video.currentTime); }, 1000);
        return;
      }
      fail(hlsFailureReason(data));
    });
    hls.on(Hls.Events.MANIFEST_PARSED, play);
    hls.attachMedia(video);
    hls.loadSource(url);
  }

  // An answer that says no (a 4xx status) is not asked again.
  function retryUnlessRefused(retryConfig, retryCount, isTimeout, response, retry) {
    if (response && response.code >= 400 && response.code < 500) return false;
    return retry;
  }

  function playProgressive(url) {
    state.mode = 'progressive';
    video.src = streamUrl(url);
    play();
  }

  function mediaFailureReason(error) {
    switch (error && error.code) {
      case MediaError.MEDIA_ERR_NETWORK: return '网络错误（' + (error.message || '媒体下载中断') + '）';
      case MediaError.MEDIA_ERR_DECODE: return '无法解码（' + (error.message || '数据损坏') + '）';
      case MediaError.MEDIA_ERR_SRC_NOT_SUPPORTED: return '不支持的格式';
      default: return (error && error.message) || '未知错误';
    }
  }

  let progressiveRetries = 0;
  video.addEventListener('error', function () {
    // hls.js reports what goes wrong under it through its own events.
    if (state.mode !== 'progressive') return;
    // A decoder that gives up once may well take the same stream on a fresh start.
    const error = video.error;
    if (error && error.code === MediaError.MEDIA_ERR_DECODE && progressiveRetries < MEDIA_RETRIES) {
      ++progressiveRetries;
      ++state.recoveries;
      video.load();
      play();
      return;
    }
    fail(mediaFailureReason(error));
  });
  video.addEventListener('timeupdate', function () {
    const quality = video.getVideoPlaybackQuality ? video.getVideoPlaybackQuality() : null;
    // A picture, or time passing on a stream of sound alone.
    if ((quality && quality.totalVideoFrames > 0) || (video.currentTime > 0 && !video.videoWidth)) {
      firstFrame();
    }
  });

  // The watchdog: a stream whose time stands still though it should play is nudged back, one
  // step harder each time, and given up after the last.
  let lastTime = -1;
  let stillSince = Date.now();
  let stallSteps = 0;
  function recoverStall() {
    ++state.recoveries;
    ++stallSteps;
    if (state.mode === 'progressive') {
      if (stallSteps > 3) return fail('信号中断');
      const position = video.currentTime;
      video.load();
      video.currentTime = position;
      play();
      return;
    }
    if (!hls) return;
    if (stallSteps === 1) {
      // Reload the playlist and pick the fragments up again where playback stands.
      hls.stopLoad();
      hls.startLoad(video.currentTime);
    } else if (stallSteps === 2) {
      hls.recoverMediaError();
    } else if (stallSteps === 3) {
      const url = hls.url;
      hls.destroy();
      hls = null;
      mediaRetries = 0;
      networkRetries = 0;
      playHls(url);
    } else {
      fail('信号中断');
    }
  }
  setInterval(function () {
    if (state.failure || state.mode === 'probe' || video.ended || video.paused && state.firstFrameAt) {
      stillSince = Date.now();
      return;
    }
    if (video.currentTime !== lastTime) {
      lastTime = video.currentTime;
      stillSince = Date.now();
      if (state.firstFrameAt) stallSteps = 0;
      return;
    }
    if (Date.now() - stillSince >= STALL_MS * (stallSteps + 1)) {
      stillSince = Date.now();
      recoverStall();
    }
  }, 500);

  // Asks for the channel once to learn what it is: a failure, a web page, an HLS playlist, or
  // media for the <video> element. Only the head and first bytes are read.
  function probe() {
    const xhr = new XMLHttpRequest();
    let decided = false;
    const decide = function (action) {
      decided = true;
      action();
    };
    xhr.onreadystatechange = function () {
      if (decided || xhr.readyState < XMLHttpRequest.HEADERS_RECEIVED) return;
      const type = contentType(xhr);
      const url = realUrl(xhr.responseURL) || channel.url;
      if (type === FAILURE_TYPE) {
        if (xhr.readyState === XMLHttpRequest.DONE) {
          decide(function () { fail(failureReason(readFailure(xhr.responseText))); });
        }
        return;
      }
      if (HTML_TYPES.has(type)) {
        return decide(function () {
          xhr.abort();
          state.mode = 'page';
          location.replace(url);
        });
      }
      const path = new URL(url).pathname.toLowerCase();
      if (HLS_TYPES.has(type) || path.endsWith('.m3u8')) {
        return decide(function () {
          xhr.abort();
          playHls(url);
        });
      }
      // Neither type nor name tells: the first bytes do.
      const text = xhr.readyState >= XMLHttpRequest.LOADING ? xhr.responseText : '';
      if (text.length < 16 && xhr.readyState !== XMLHttpRequest.DONE) return;
      decide(function () {
        xhr.abort();
        if (/^\ufeff?\s*#EXTM3U/.test(text)) {
          playHls(url);
        } else if (xhr.status === 200 && text.length === 0) {
          fail('空的响应');
        } else {
          playProgressive(url);
        }
      });
    };
    xhr.onerror = function () {
      if (!decided) decide(function () { fail('网络错误'); });
    };
    xhr.open('GET', streamUrl(channel.url));
    xhr.send();
  }

  document.title = channel.name || 'Qelvu';
  if (channel.name) {
    caption.textContent = channel.name;
    caption.classList.remove('hidden');
    setTimeout(function () { caption.classList.add('hidden'); }, CAPTION_MS);
  }
  countFrames();
  if (!channel.url) {
    fail('频道没有地址');
  } else {
    probe();
  }
})();

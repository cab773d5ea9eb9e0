-- wrk script: every request is the post a generated page makes, umlauts in Windows-1252.
-- Each thread counts the success answers it got; done() adds them up for the check that
-- nothing was lost.

wrk.method = "POST"
wrk.path = "/cgi-bin/sendmailform.cgi"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.body = "vorname=J%FCrgen+Gro%DF&ort=M%FCnchen&bemerkung=Zeile+1%0D%0A%C4u%DFerung+%80"
  .. "&groesse=XL&agb=ja&B1=Abschicken&required=vorname%2Cagb"
  .. "&data_order=vorname%2Cort%2Cbemerkung%2Cgroesse%2Cgroesse%2Cagb%2Cnews"
  .. "&submit_to=info%40example.org&form_id=Formular"

local threads = {}

function setup(thread)
  table.insert(threads, thread)
end

function init(args)
  successes = 0
  others = 0
end

function response(status, headers, body)
  if status == 200 then
    successes = successes + 1
  else
    others = others + 1
  end
end

function done(summary, latency, requests)
  local ok, bad = 0, 0
  for _, thread in ipairs(threads) do
    ok = ok + thread:get("successes")
    bad = bad + thread:get("others")
  end
  io.write(string.format("success answers: %d\nother answers: %d\n", ok, bad))
end
